// The manifest a run leaves in its backup slot folder, collected file by
// file as the run goes. As the run begins, the slot's old manifest gives way
// to one that names no file and no end; the whole one is written only after
// the last file. Meanwhile the run's journal beside it names, batch by
// batch and before any of them is replaced, the files the run replaces: a
// run killed midway is undone from it, and only the copies it made go back,
// never those an earlier run left in the slot.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

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
    /// Before any of them is replaced: records in the run's journal, on
    /// disk when it returns, the files about to be replaced (by `name` and
    /// `place` as for add(), the outcome's `written` the text to be written).
    /// The first time, it begins the journal (and writes the manifest begin()
    /// could not, the slot folder made since). A failure means they must not
    /// be replaced.
    Status journal(const std::vector<ManifestFile>& files);
    /// A file about to be replaced, as journal() takes it.
    static ManifestFile replacing(const std::string& name, const std::string& place, const FileOutcome& file);
    /// After the last file: writes the manifest. Does nothing for a run
    /// that never began (no file found), so the slot keeps the manifest of
    /// the run whose copies it holds.
    Status finish();

private:
    FileSystem& files_;
    RunManifest manifest_;
    bool begun_ = false;
    bool manifestBegun_ = false;  ///< the manifest without end is on disk
    bool journalBegun_ = false;
    std::map<std::string, std::string> resolvedFolders_;  ///< by the folder as a file's path names it
};

}  // namespace codekiln
