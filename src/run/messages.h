// The texts a run shows the user: the extension warning, the message for a
// missing extension, and the summary with the files that could not be
// formatted. Shared by the window and the command line.
#pragma once

#include <string>
#include <vector>

#include "platform/status.h"
#include "run/run_state.h"

namespace codekiln {

/// One file that was left untouched, and why.
struct FileFailure {
    std::string name;    ///< the file name as listed
    Reason reason;       ///< what went wrong, naming the path
};

/// The two lines of the extension warning, joined by CR LF.
extern const std::string kExtensionWarning;
/// The message for an extension that is empty after trimming.
extern const std::string kMissingExtension;

/// The summary of a run: lines, files and their names, the backup folder
/// `backupSlot`, then the files left unchanged, if any, and, for a run
/// stopped by the user, how many matching files it did not reach.
std::string summaryText(const RunCounters& run, int backupSlot, const std::vector<FileFailure>& failures,
                        long long stopped = 0);

/// A summary without the names of the files processed: the counts, the
/// backup folder and the lines after it, for a box to show above a long
/// name list. Empty for a text that is no summary.
std::string summaryHeadline(const std::string& summary);

}  // namespace codekiln
