// The file operations of a run on POSIX systems, on names as the file system
// has them (bytes, never decoded): one reading with what the file was, a
// backup written as a new file and renamed into place, and a rewrite that
// keeps owner, group and permissions and only happens when the file is
// still the one read. Every failure names the path (escaped) and the reason.
#pragma once

#include <string>
#include <vector>

#include "platform/file_system.h"

namespace codekiln {

/// Every temporary file of this program starts with this, followed by the
/// process id, "-", a number and ".tmp"; a leading dot keeps it out of
/// listings.
inline constexpr const char* kTemporaryPrefix = ".codekiln-";

Status posixStatFile(const std::string& path, FileIdentity& identity);
Status posixReadFileOnce(const std::string& path, std::string& bytes, FileIdentity& identity);
Status posixWriteBackup(const std::string& to, const std::string& bytes, const FileIdentity& of);
Status posixReplaceFile(const std::string& path, const std::string& bytes, const FileIdentity& read);
/// The batch forms of posixWriteBackup, posixReplaceFile and
/// posixRestoreFile: the data of a batch synced together (backups may be hard links, see Platform), each
/// folder of the rewritten files synced once after them.
void posixWriteBackups(std::vector<BatchBackup>& backups);
void posixReplaceFiles(std::vector<BatchReplacement>& replacements);
void posixRestoreFiles(std::vector<BatchReplacement>& restorations);
/// Appends `bytes` to the existing file `path` (not through a symbolic
/// link), its data synced before it returns.
Status posixAppendDurably(const std::string& path, const std::string& bytes);
/// `fsync` of each folder; the first failure.
Status posixSyncFolders(const std::vector<std::string>& folders);
/// The rewrite of a restore: as posixReplaceFile, but a file whose owner and
/// group cannot be kept is left as it is, and a change is named as one made
/// during the restore.
Status posixRestoreFile(const std::string& path, const std::string& bytes, const FileIdentity& read);
/// A new file made from `bytes` beside `path` and linked in under its
/// name only when nothing stands there then (link, not rename, so that
/// nothing is replaced).
Status posixCreateFile(const std::string& path, const std::string& bytes, const FileIdentity& of);
/// `mkdir` of one folder whose parent exists, and its name synced there.
Status posixCreateFolder(const std::string& path);
/// Every missing folder of `path` made, each one's name synced in its parent.
void posixMakeFolders(const std::string& path);
/// What stands at `path`, by `lstat`: a symbolic link is not followed.
PathKind posixPathKind(const std::string& path);
/// `realpath`: empty when the path does not exist.
std::string posixCanonicalPath(const std::string& path);
void posixRemoveStaleTemporaries(const std::string& folder);
/// The names in `folder` as bytes, "." and ".." left out.
Status posixFolderNames(const std::string& folder, std::vector<std::string>& names);
/// The process id a temporary file's name carries, or 0 when `name` is not
/// one of this program's temporary files.
long temporaryOwner(const std::string& name);

}  // namespace codekiln
