// The manifest a run leaves in its backup slot folder, collected file by
// file as the run goes. A slot's old manifest is removed before the run's
// first backup copy lands there and the new one is written only after the
// last file, so a run that is killed midway leaves no manifest at all rather
// than one that claims more than happened or describes copies that have
// since been replaced.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/file_system.h"
#include "run/chuli.h"

namespace codekiln {

/// The time now, in milliseconds since 1970-01-01 UTC.
std::int64_t nowMilliseconds();

/// One run's manifest in the making.
class RunRecord {
public:
    /// A run over `folder` into backup slot `slot`, starting now.
    RunRecord(const std::string& folder, const std::string& extension, const FormatOptions& options, int slot,
              FileSystem& files);

    /// Before the first file: replaces the manifest an earlier run left in
    /// the slot by this run's, with no file and no end time yet, so that a
    /// run killed before its end is still the slot's (and the backup root's
    /// newest) run. Where that cannot be written, the old one is removed.
    Status begin();
    /// Where the file at `filePath` lies, for add(): empty when the run's
    /// folder with `name` below it says so already, else its absolute path
    /// through its folder's resolved path (a symbolic link's: its target's
    /// resolved path). Asked before the file is touched.
    std::string placeOf(const std::string& filePath, const std::string& name);
    /// A file the run reached: `name` relative to the run's folder, `place`
    /// from placeOf().
    void add(const std::string& name, const std::string& place, const FileOutcome& file);
    /// After the last file: writes the manifest. Does nothing for a run
    /// that never began (no file found), so the slot keeps the manifest of
    /// the run whose copies it holds.
    Status finish();

private:
    FileSystem& files_;
    RunManifest manifest_;
    bool begun_ = false;
    std::map<std::string, std::string> resolvedFolders_;  ///< by the folder as a file's path names it
};

}  // namespace codekiln
