// The files of a command-line run: the PATHs in the order given, a folder
// contributing its matching files (and, recursively, its subfolders'), a
// file named contributing itself whatever its extension.
#pragma once

#include <string>
#include <vector>

#include "platform/file_system.h"
#include "run/run_batch.h"

namespace codekiln {

/// How the PATHs become files.
struct WalkOptions {
    std::string extension;  ///< trimmed; a folder's files are those whose names end in it
    bool recursive = false;
    std::vector<std::string> excludes;  ///< wildcard patterns on relative paths (see path_glob.h)
    /// The folder that holds 备份1..备份5 in this run: those five are never
    /// entered, wherever they lie in a tree.
    std::string backupRoot;
};

/// The files found, and the folders that could not be read.
struct WalkResult {
    std::vector<RunFile> files;
    std::vector<std::string> errors;  ///< each naming the folder and the reason
};

/// Lists the files of `paths` (each an existing file or folder) in run order:
/// a folder's matching files by name, then each subfolder in the same order,
/// depth first (with `recursive`). Hidden folders, folders reached through a
/// symbolic link and the backup folders are skipped; a file reached twice is
/// listed once, where first reached. A file's name is its path relative to
/// the folder given (its own name for a single file given) when there is one
/// PATH; with several, each name starts with its PATH, so no two files of a
/// run share a backup copy.
WalkResult collectFiles(const std::vector<std::string>& paths, const WalkOptions& options,
                        FileSystem& files);

/// The form of a PATH that names may start with: the path as given, cleaned,
/// when it is relative and does not climb out with ".."; otherwise the
/// absolute path without its root, so it stays inside the backup folder.
std::string pathLabel(const std::string& path);

}  // namespace codekiln
