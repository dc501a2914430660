// What a run keeps beside the engine: the session that outlives one run (the
// backup slot in use and the labelled-DO record, both carried from run to
// run while the window is open) and the counters of one run.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/state/do_label_record.h"

namespace codekiln {

/// What one program session carries from run to run.
struct SessionState {
    int backupSlot = 0;      ///< `backupSlot`: backup folder 1..5 in use; 0 before the first run
    /// Set by a run that found no file, which advances `backupSlot` in
    /// memory only: the stored text it left as it was. While the store still
    /// holds it, the next run counts on from `backupSlot`.
    std::optional<std::string> unstoredOver;
    DoLabelRecord doLabels;  ///< the labelled-DO record, carried from file to file and run to run
};

/// The counters of one run, started afresh by every run.
struct RunCounters {
    std::int64_t fileCount = 0;   ///< `fileCount`: files handed to `chuli` in this run
    std::int64_t totalLines = 0;  ///< `totalLines`: the code lines of those files
    /// `processedNames`: the names of the run's files in the order processed.
    std::vector<std::string> processedNames;
    /// The files this run has formatted, by resolved path and by device and
    /// inode, so that no file is formatted twice however many names lead to it.
    std::set<std::string> formattedPaths;
    std::set<std::pair<std::uint64_t, std::uint64_t>> formattedInodes;
    /// The backup root with every link resolved, found at the first file.
    std::string resolvedBackupRoot;
    /// The folders of the run's files with every link resolved, each found
    /// at its first file.
    std::map<std::string, std::string> resolvedFolders;
    /// Whether the five backup folders have been made sure of, and the
    /// folders below the slot folder made sure of since (names relative to
    /// the slot folder), so that each is looked at once per run.
    bool backupFoldersReady = false;
    std::set<std::string> readyBackupSubfolders;
};

}  // namespace codekiln
