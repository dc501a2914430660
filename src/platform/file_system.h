// The files and folders of the machine as the run, the restore and the
// command line's walk reach them: listing, one reading with what the file
// was, backups, rewrites in place, the run's manifest and the hold on the
// backup root. Plain C++ so that the run and its tests never see Qt; the
// real implementation is QtPlatform (qt_platform.h), and tests put an
// in-memory file system in its place.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/run_manifest.h"
#include "platform/status.h"

namespace codekiln {

/// What a file was when it was read: enough to tell whether it is still the
/// same file with the same content, and what to give its replacement.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;  ///< modification time in nanoseconds
    std::uint32_t mode = 0;       ///< permission bits with the set-user, set-group and sticky bits
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    std::uint64_t links = 1;  ///< hard links to the file
    /// The path's last part is the file itself, not a symbolic link to it;
    /// false where the platform does not tell.
    bool plainEntry = false;

    /// Whether `other` is the same file, untouched since this was taken.
    bool unchangedAs(const FileIdentity& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modifiedNs == other.modifiedNs;
    }
};

/// What stands at a path, a symbolic link at its end not followed.
enum class PathKind {
    Missing,
    File,
    Folder,
    SymLink,  ///< a symbolic link, whatever it points to (or nothing)
    Other,    ///< a socket, pipe or device
};

/// One backup of a batch (FileSystem::writeBackups): the copy `to` of the
/// bytes read from the file `of`, or, where `mayLink` allows it, a second
/// name of that very file.
struct BatchBackup {
    std::string to;
    std::string of;
    const std::string* bytes = nullptr;  ///< the bytes read, which a copy holds
    FileIdentity read;                   ///< what the file was when read
    /// The file is about to be replaced by a new one (never rewritten in
    /// place), so a hard link to it is as good as a copy.
    bool mayLink = false;
    bool linked = false;  ///< out: the backup is a hard link to the file
    Status status;        ///< out
};

/// One rewrite of a batch (FileSystem::replaceFiles), as replaceFile does it.
struct BatchReplacement {
    std::string path;
    const std::string* bytes = nullptr;
    FileIdentity read;
    Status status;  ///< out
};

/// An exclusive hold on a backup root: one run (or restore) at a time per
/// backup root, whatever program holds it. Released when destroyed; the hold
/// of a process that died is recovered by the next one.
class RootLock {
public:
    virtual ~RootLock() = default;
};

/// The files and folders of the machine. Every operation is the
/// implementation's own: nothing here has a body to fall back on.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    /// Names (without folder) of the ordinary files of `folder` whose names
    /// match the wildcard pattern "*" + `extension`, ignoring case. Folders,
    /// hidden files and special files are left out. Sorted by name ignoring
    /// case, ties by exact bytes, so a run is the same on every file system.
    virtual Status listFiles(const std::string& folder, const std::string& extension,
                             std::vector<std::string>& names) = 0;

    /// Names (without folder) of the subfolders of `folder`, as the file
    /// system has them: hidden folders and symbolic links left out. Sorted
    /// as listFiles sorts.
    virtual Status listFolders(const std::string& folder, std::vector<std::string>& names) = 0;

    virtual bool folderExists(const std::string& path) = 0;
    /// Creates one folder whose parent exists.
    virtual Status createFolder(const std::string& path) = 0;

    /// Reads a whole file as bytes.
    virtual Status readFile(const std::string& path, std::string& bytes) = 0;
    /// Replaces the content of `path` by `bytes`. The new content is written
    /// beside the file and swapped in whole: on any failure the file keeps
    /// its old bytes. A symbolic link's target is replaced; the file's
    /// permissions are kept.
    virtual Status writeFile(const std::string& path, const std::string& bytes) = 0;

    // The operations below carry a file through a run without loss: one
    // reading, a backup written from exactly the bytes read, and a rewrite
    // that only happens when the file is still the one read.

    /// What the file at `path` (a symbolic link followed) is; fails, saying
    /// why (not found, not a regular file, name too long), when it is not a
    /// regular file.
    virtual Status statFile(const std::string& path, FileIdentity& identity) = 0;
    /// Reads a whole regular file once, with what it was when read.
    virtual Status readFileOnce(const std::string& path, std::string& bytes, FileIdentity& identity) = 0;
    /// Writes the backup `to` from `bytes`: a new file in its folder, given
    /// the permission bits (never wider, no special bits) and modification
    /// time of `of`, renamed over whatever entry `to` names (a symbolic link
    /// is replaced, never followed).
    virtual Status writeBackup(const std::string& to, const std::string& bytes, const FileIdentity& of) = 0;
    /// Replaces the content of `path` (a symbolic link's target) by `bytes`,
    /// only when it is still the file `read` describes; keeps its owner and
    /// group where the process may set them, its permission bits, and its
    /// special bits where the owner is kept. A file with several hard links
    /// is rewritten in place, so that every link keeps it.
    virtual Status replaceFile(const std::string& path, const std::string& bytes,
                               const FileIdentity& read) = 0;
    /// The backups of a batch of files, each as writeBackup writes it, or
    /// a hard link where the file allows it; each one's bytes are on disk
    /// when this returns, but not yet its name: syncFolders makes the
    /// names durable.
    virtual void writeBackups(std::vector<BatchBackup>& backups) = 0;
    /// Makes the entries of each folder durable; the first failure.
    virtual Status syncFolders(const std::vector<std::string>& folders) = 0;
    /// The rewrites of a batch of files, each as replaceFile does it: every
    /// new text is written and on disk before the first is swapped in, and
    /// each folder swapped into is synced once after the last.
    virtual void replaceFiles(std::vector<BatchReplacement>& replacements) = 0;
    /// Puts a backup's `bytes` back into `path` as replaceFile does, only
    /// when it is still the file `read` describes; a file whose owner and
    /// group cannot be kept is left as it is, with a failure saying so.
    virtual Status restoreFile(const std::string& path, const std::string& bytes,
                               const FileIdentity& read) = 0;
    /// The put-backs of a batch of files, each as restoreFile does it; where
    /// the system allows, every backup's bytes are written and on disk before
    /// the first file is swapped, and each folder swapped into is synced once
    /// after the last. By default one restoreFile after another.
    virtual void restoreFiles(std::vector<BatchReplacement>& restorations) {
        for (BatchReplacement& r : restorations) r.status = restoreFile(r.path, *r.bytes, r.read);
    }
    /// Writes a new file `path` from `bytes`, given the permission bits (no
    /// special bits) and modification time of `of`, only when nothing
    /// stands at `path` at the moment it is put there; fails, saying so,
    /// otherwise. A symbolic link at `path` is never followed.
    virtual Status createFile(const std::string& path, const std::string& bytes, const FileIdentity& of) = 0;
    /// Removes from `folder` the temporary files left behind by runs of this
    /// program that are no longer alive.
    virtual void removeStaleTemporaries(const std::string& folder) = 0;

    /// Whether statFile, readFileOnce, readFile, pathKind and canonicalPath
    /// may be called from several threads at once (while one thread alone
    /// makes every other call); a run reads files ahead in parallel, and a
    /// restore looks at them ahead, only then.
    virtual bool concurrentReads() const = 0;

    /// What stands at `path`; a symbolic link is reported as one, not followed.
    virtual PathKind pathKind(const std::string& path) = 0;
    /// `path` absolute, with "." and ".." and every symbolic link resolved;
    /// empty when nothing is there.
    virtual std::string canonicalPath(const std::string& path) = 0;
    /// What tells two paths to the same file or folder apart: the same text
    /// for every path that reaches it (on Windows, where one name has many
    /// spellings, letter case and short names included), empty when nothing
    /// is there.
    virtual std::string sameFileKey(const std::string& path) = 0;

    /// Writes `manifest` into `slotFolder` under kRunManifestName, whole or
    /// not at all, replacing an older manifest (never following a symbolic
    /// link planted in its place). A whole manifest (with an end) then
    /// removes the run's journal, which it stands for.
    virtual Status writeRunManifest(const std::string& slotFolder, const RunManifest& manifest) = 0;
    /// Removes the manifest of `slotFolder`; success when there is none.
    virtual Status removeRunManifest(const std::string& slotFolder) = 0;
    /// Reads the manifest of `slotFolder`. `found` is false, with success,
    /// when there is none; a manifest that cannot be read, is not a file
    /// (a symbolic link included) or is not a well-formed manifest is a
    /// failure saying so.
    virtual Status readRunManifest(const std::string& slotFolder, RunManifest& manifest, bool& found) = 0;
    /// Adds `files` to the journal of the run that began at `startedMs` in
    /// `slotFolder`, on disk when it returns; with `start`, the journal is
    /// begun afresh (its name, new in the folder, is then still to be synced).
    virtual Status appendRunJournal(const std::string& slotFolder, std::int64_t startedMs,
                                    const std::vector<ManifestFile>& files, bool start) = 0;
    /// The files of the journal in `slotFolder` of the run that began at
    /// `startedMs`. `found` is false, with success, when there is none or it
    /// is another run's. A last line cut short (a run killed while adding
    /// it, before any of its files was replaced) is left out; anything else
    /// not well formed is a failure.
    virtual Status readRunJournal(const std::string& slotFolder, std::int64_t startedMs,
                                  std::vector<ManifestFile>& files, bool& found) = 0;

    /// The folder that holds the backup folders 备份1..备份5, there once asked for.
    virtual std::string backupRoot() = 0;
    /// Takes the exclusive hold on the backup root (see RootLock), waiting
    /// up to `waitMilliseconds` for another holder to let go. Fails, saying
    /// why, when the hold cannot be had.
    virtual Status lockBackupRoot(int waitMilliseconds, std::unique_ptr<RootLock>& lock) = 0;
};

/// The separator between a folder and a name in the paths a run builds.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

}  // namespace codekiln
