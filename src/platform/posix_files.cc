// The run's file operations on POSIX. A new file is always a fresh
// temporary file in the folder it ends up in (created exclusively, never
// through a link), written, given its permissions and times, synced, and
// renamed over the old entry: whatever stood there, a symbolic link
// included, is replaced, never followed. A backup of a file about to be
// replaced may instead be a second name of the file itself. A batch writes
// all its new files first and syncs them together before any is renamed.
// The build takes this file only where there is POSIX.
#include "platform/posix_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/file_names.h"
#include "platform/memory_pages.h"
#include "platform/paths.h"

namespace codekiln {

namespace {

Status failWith(const std::string& path, Why what, int error) {
    return Status::failure(what, escapedName(path), {}, std::strerror(error));
}

FileIdentity identityOf(const struct stat& st) {
    FileIdentity id;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.size = static_cast<std::int64_t>(st.st_size);
    id.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.mode = static_cast<std::uint32_t>(st.st_mode & 07777);
    id.owner = static_cast<std::uint32_t>(st.st_uid);
    id.group = static_cast<std::uint32_t>(st.st_gid);
    id.links = static_cast<std::uint64_t>(st.st_nlink);
    return id;
}

Status writeAll(int fd, const std::string& bytes, const std::string& path) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return failWith(path, Why::CannotWrite, n < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(n);
    }
    return Status::success();
}

/// A new, empty temporary file in `folder`, opened for writing.
int createTemporary(const std::string& folder, std::string& tempPath) {
    static std::atomic<unsigned long> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = folder + "/" + kTemporaryPrefix + std::to_string(static_cast<long>(::getpid())) + "-" +
                   std::to_string(counter++) + ".tmp";
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

/// Starts writing the data of every file in `fds` to disk, so that the
/// fdatasyncs that follow wait for one journal commit rather than one each.
void startWriteback(const std::vector<int>& fds) {
#ifdef __linux__
    for (const int fd : fds) (void)::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    (void)fds;
#endif
}

Status changedUnderUs(const std::string& path, bool restoring = false) {
    return Status::failure(restoring ? Why::ChangedDuringRestore : Why::ChangedDuringFormatting,
                           escapedName(path));
}

/// The file a rewrite must replace: a symbolic link's target, else the path.
std::string writeTarget(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        const std::string target = posixCanonicalPath(path);
        if (!target.empty()) return target;
    }
    return path;
}

/// A file with several hard links is rewritten through the same inode, so
/// every link keeps it; its backup is on disk before this starts.
Status rewriteInPlace(const std::string& path, const std::string& target, const std::string& bytes,
                      const FileIdentity& read, bool restoring) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return failWith(path, Why::CannotWrite, errno);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !identityOf(st).unchangedAs(read)) {
        ::close(fd);
        return changedUnderUs(path, restoring);
    }
    Status status;
    std::size_t done = 0;
    while (status && done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            status = failWith(path, Why::CannotWriteInPlace, n < 0 ? errno : ENOSPC);
        else
            done += static_cast<std::size_t>(n);
    }
    if (status && ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0)
        status = failWith(path, Why::CannotWriteInPlace, errno);
    if (status && ::fdatasync(fd) != 0) status = failWith(path, Why::CannotWriteInPlace, errno);
    ::close(fd);
    return status;
}

}  // namespace

Status posixStatFile(const std::string& path, FileIdentity& identity) {
    // One call for a plain entry; a symbolic link is followed by a second.
    struct stat st;
    bool plain = ::lstat(path.c_str(), &st) == 0;
    if (plain && S_ISLNK(st.st_mode)) plain = false;
    if (!plain && ::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return Status::failure(Why::FileNotFound, escapedName(path));
        return failWith(path, Why::CannotRead, errno);
    }
    if (!S_ISREG(st.st_mode)) return Status::failure(Why::NotRegularFile, escapedName(path));
    identity = identityOf(st);
    identity.plainEntry = plain;
    return Status::success();
}

Status posixReadFileOnce(const std::string& path, std::string& bytes, FileIdentity& identity) {
    bytes.clear();
    // Non-blocking, so that a pipe put in the file's place cannot hold the run.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return failWith(path, Why::CannotRead, errno);
    struct stat before;
    if (::fstat(fd, &before) != 0) {
        const int error = errno;
        ::close(fd);
        return failWith(path, Why::CannotRead, error);
    }
    if (!S_ISREG(before.st_mode)) {
        ::close(fd);
        return Status::failure(Why::NotRegularFile, escapedName(path));
    }
    // Read through a small buffer into the reserved text, so that the text is
    // written once by the copy and not zero-filled before it.
    bytes.reserve(static_cast<std::size_t>(before.st_size));
    adviseLargePages(bytes.data(), bytes.capacity());
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return failWith(path, Why::CannotRead, error);
        }
        if (n == 0) break;
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    const std::size_t filled = bytes.size();
    struct stat after;
    const bool same = ::fstat(fd, &after) == 0 && identityOf(after).unchangedAs(identityOf(before)) &&
                      filled == static_cast<std::size_t>(before.st_size);
    ::close(fd);
    if (!same) return Status::failure(Why::ChangedWhileRead, escapedName(path));
    identity = identityOf(before);
    return Status::success();
}

namespace {

/// A temporary file beside `to` holding `bytes`, with the permission bits
/// (no special bits) and modification time of `of`, still open as `fd` and
/// not yet synced. On failure nothing is left.
Status writeLikeFileUnsynced(const std::string& to, const std::string& bytes, const FileIdentity& of,
                             std::string& temp, int& fd) {
    fd = createTemporary(parentOf(to, PathStyle::Posix), temp);
    if (fd < 0) return failWith(to, Why::CannotWrite, errno);
    Status status = ::fchmod(fd, static_cast<mode_t>(of.mode & 0777)) == 0 ? writeAll(fd, bytes, to)
                                                                            : failWith(to, Why::CannotWrite, errno);
    // The file's modification time, set after the last write would move it.
    const struct timespec times[2] = {
        {0, UTIME_NOW},
        {static_cast<time_t>(of.modifiedNs / 1000000000), static_cast<long>(of.modifiedNs % 1000000000)}};
    if (status) ::futimens(fd, times);
    if (!status) {
        ::close(fd);
        ::unlink(temp.c_str());
        fd = -1;
    }
    return status;
}

/// Syncs and closes a temporary file written by writeLikeFileUnsynced; on
/// failure removes it.
Status syncTemporary(int fd, const std::string& temp, const std::string& to) {
    Status status;
    if (::fdatasync(fd) != 0) status = failWith(to, Why::CannotWrite, errno);
    if (::close(fd) != 0 && status) status = failWith(to, Why::CannotWrite, errno);
    if (!status) ::unlink(temp.c_str());
    return status;
}

/// A complete, synced temporary file beside `to` holding `bytes`, with the
/// permission bits (no special bits) and modification time of `of`.
Status writeLikeFile(const std::string& to, const std::string& bytes, const FileIdentity& of, std::string& temp) {
    int fd = -1;
    const Status written = writeLikeFileUnsynced(to, bytes, of, temp, fd);
    return written ? syncTemporary(fd, temp, to) : written;
}

/// Moves the synced temporary file `temp` to `to`, replacing whatever entry
/// stands there; on failure removes it and names `named` (default: `to`).
Status renameInto(const std::string& temp, const std::string& to, const std::string* named = nullptr) {
    if (::rename(temp.c_str(), to.c_str()) == 0) return Status::success();
    const int error = errno;
    ::unlink(temp.c_str());
    return failWith(named != nullptr ? *named : to, Why::CannotWrite, error);
}

/// The backup `to` as a second name of the file `of` read as `read`: the
/// file's bytes are already on disk (synced here once more, at no cost
/// when they are), and the file is then replaced by a new one, so the name
/// left in the backup folder keeps the bytes read. Only for a file with one
/// name, no special bits and its owner's write permission, still exactly
/// the file read; false, with nothing left at `to`, wherever that is not so
/// (another file system, no right to link), and the caller writes a copy.
/// The name is linked in directly, not through a temporary name, so that a
/// run killed here leaves a backup the undo knows, never a stray link.
bool linkBackup(const std::string& to, const std::string& of, const FileIdentity& read) {
    if (read.links != 1 || (read.mode & 07000) != 0 || (read.mode & S_IWUSR) == 0) return false;
    // A symbolic link is followed: its target is what gets replaced. An
    // older backup of the name (a run five runs back) gives way.
    int linked = ::linkat(AT_FDCWD, of.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW);
    if (linked != 0 && errno == EEXIST && ::unlink(to.c_str()) == 0)
        linked = ::linkat(AT_FDCWD, of.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW);
    if (linked != 0) return false;
    // Still the file read, and with no other name than its own and this.
    const int fd = ::open(to.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st;
    bool same = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 2 &&
                identityOf(st).unchangedAs(read);
    if (same) same = ::fdatasync(fd) == 0;
    if (fd >= 0) ::close(fd);
    if (!same) ::unlink(to.c_str());
    return same;
}

}  // namespace

Status posixAppendDurably(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return failWith(path, Why::CannotWrite, errno);
    Status status = writeAll(fd, bytes, path);
    if (status && ::fdatasync(fd) != 0) status = failWith(path, Why::CannotWrite, errno);
    if (::close(fd) != 0 && status) status = failWith(path, Why::CannotWrite, errno);
    return status;
}

Status posixCreateFile(const std::string& path, const std::string& bytes, const FileIdentity& of) {
    std::string temp;
    const Status written = writeLikeFile(path, bytes, of, temp);
    if (!written) return written;
    const int linked = ::link(temp.c_str(), path.c_str());
    const int error = errno;
    ::unlink(temp.c_str());
    if (linked == 0) return Status::success();
    if (error == EEXIST) return Status::failure(Why::MadeDuringRestore, escapedName(path));
    return failWith(path, Why::CannotWrite, error);
}

Status posixWriteBackup(const std::string& to, const std::string& bytes, const FileIdentity& of) {
    // The backup is no more readable than the file, and has no special bits.
    std::string temp;
    const Status written = writeLikeFile(to, bytes, of, temp);
    if (!written) return written;
    const Status moved = renameInto(temp, to);
    if (!moved) return moved;
    // A file with several links is then rewritten in place: its backup's
    // name must be on disk too before that starts.
    if (of.links > 1) {
        const int folder = ::open(parentOf(to, PathStyle::Posix).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const bool synced = folder >= 0 && ::fsync(folder) == 0;
        if (folder >= 0) ::close(folder);
        if (!synced) return failWith(to, Why::CannotWrite, errno);
    }
    return Status::success();
}

void posixWriteBackups(std::vector<BatchBackup>& backups) {
    // Links first; the copies then written whole, their data synced
    // together, and only then renamed into place.
    struct Pending {
        BatchBackup* backup;
        int fd;
        std::string temp;
    };
    std::vector<Pending> pending;
    std::vector<std::pair<std::string, std::uint64_t>> devices;  // of each backup folder
    const auto deviceOf = [&](const std::string& folder) {
        for (const auto& known : devices)
            if (known.first == folder) return known.second;
        struct stat st;
        devices.emplace_back(folder, ::stat(folder.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_dev)
                                                                       : ~std::uint64_t{0});
        return devices.back().second;
    };
    for (BatchBackup& b : backups) {
        b.linked = b.mayLink && deviceOf(parentOf(b.to, PathStyle::Posix)) == b.read.device &&
                   linkBackup(b.to, b.of, b.read);
        if (b.linked) {
            b.status = Status::success();
            continue;
        }
        Pending p{&b, -1, {}};
        b.status = writeLikeFileUnsynced(b.to, *b.bytes, b.read, p.temp, p.fd);
        if (b.status) pending.push_back(std::move(p));
    }
    std::vector<int> fds;
    for (const Pending& p : pending) fds.push_back(p.fd);
    startWriteback(fds);
    for (Pending& p : pending) {
        p.backup->status = syncTemporary(p.fd, p.temp, p.backup->to);
        if (p.backup->status) p.backup->status = renameInto(p.temp, p.backup->to);
    }
}

namespace {

/// Makes the entries of `folder` durable: a new folder's name in its parent
/// is lost at a power cut until the parent is synced, and with it every
/// backup inside, however well each copy was synced. A parent this process
/// cannot open (write and search rights only) or a file system that cannot
/// sync folders is left as before; a failing sync is an error.
Status syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Status::success();
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
    const int error = errno;
    ::close(fd);
    return synced ? Status::success() : failWith(folder, Why::CannotWrite, error);
}

/// A rewrite of a batch under way: its new text in `temp`, open as `fd`.
struct PendingReplace {
    BatchReplacement* item;
    std::string target;
    std::string temp;
    int fd;
};

/// The first half of a rewrite: the checks, and the new text written beside
/// the file, not yet synced. A file with several links is rewritten in place
/// at once (synced there) and needs no second half: false then, and on
/// failure, with the item's status set.
bool startReplace(BatchReplacement& item, bool restoring, PendingReplace& p) {
    const std::string& path = item.path;
    const FileIdentity& read = item.read;
    p.item = &item;
    p.target = writeTarget(path);
    struct stat st;
    if (::stat(p.target.c_str(), &st) != 0 || !identityOf(st).unchangedAs(read)) {
        item.status = changedUnderUs(path, restoring);
        return false;
    }
    // The owner's write permission is the file's read-only mark; honour it
    // even for a user who could write anyway.
    if (!(st.st_mode & S_IWUSR)) {
        item.status = Status::failure(Why::ReadOnly, escapedName(path));
        return false;
    }
    if (read.links > 1) {
        item.status = rewriteInPlace(path, p.target, *item.bytes, read, restoring);
        return false;
    }
    p.fd = createTemporary(parentOf(p.target, PathStyle::Posix), p.temp);
    if (p.fd < 0) {
        item.status = failWith(path, Why::CannotWrite, errno);
        return false;
    }
    // Owner and group where this process may set them; the set-user and
    // set-group bits only where the owner was kept.
    // A restore gives the file back as it was or not at all.
    mode_t mode = static_cast<mode_t>(read.mode & 07777);
    Status status;
    if (::fchown(p.fd, static_cast<uid_t>(read.owner), static_cast<gid_t>(read.group)) != 0) {
        if (restoring) status = failWith(path, Why::CannotKeepOwner, errno);
        mode &= 01777;
    }
    if (status && ::fchmod(p.fd, mode) != 0) status = failWith(path, Why::CannotWrite, errno);
    if (status) status = writeAll(p.fd, *item.bytes, path);
    if (!status) {
        ::close(p.fd);
        ::unlink(p.temp.c_str());
        item.status = status;
        return false;
    }
    return true;
}

/// The rewrites of a batch: every new text written, then synced together,
/// then each swapped in after a last look at the file, then each folder
/// swapped into synced once.
void replaceBatch(std::vector<BatchReplacement>& items, bool restoring) {
    std::vector<PendingReplace> pending;
    for (BatchReplacement& item : items) {
        item.status = Status::success();
        PendingReplace p{};
        if (startReplace(item, restoring, p)) pending.push_back(std::move(p));
    }
    std::vector<int> fds;
    for (const PendingReplace& p : pending) fds.push_back(p.fd);
    startWriteback(fds);
    for (PendingReplace& p : pending) p.item->status = syncTemporary(p.fd, p.temp, p.item->path);
    std::vector<std::string> folders;
    for (PendingReplace& p : pending) {
        if (!p.item->status) continue;
        // The last look before the swap: a file another program saved
        // meanwhile is left as that program left it.
        struct stat st;
        if (::stat(p.target.c_str(), &st) != 0 || !identityOf(st).unchangedAs(p.item->read)) {
            ::unlink(p.temp.c_str());
            p.item->status = changedUnderUs(p.item->path, restoring);
            continue;
        }
        p.item->status = renameInto(p.temp, p.target, &p.item->path);
        if (!p.item->status) continue;
        const std::string folder = parentOf(p.target, PathStyle::Posix);
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    }
    // The swaps made durable. A failure here cannot undo them: each file
    // holds its new text, and its backup is on disk already.
    for (const std::string& folder : folders) (void)syncFolder(folder);
}

Status replace(const std::string& path, const std::string& bytes, const FileIdentity& read, bool restoring) {
    std::vector<BatchReplacement> one(1);
    one[0].path = path;
    one[0].bytes = &bytes;
    one[0].read = read;
    replaceBatch(one, restoring);
    return one[0].status;
}

}  // namespace

Status posixReplaceFile(const std::string& path, const std::string& bytes, const FileIdentity& read) {
    return replace(path, bytes, read, false);
}

Status posixRestoreFile(const std::string& path, const std::string& bytes, const FileIdentity& read) {
    return replace(path, bytes, read, true);
}

void posixReplaceFiles(std::vector<BatchReplacement>& replacements) { replaceBatch(replacements, false); }

void posixRestoreFiles(std::vector<BatchReplacement>& restorations) { replaceBatch(restorations, true); }

Status posixSyncFolders(const std::vector<std::string>& folders) {
    Status first;
    for (const std::string& folder : folders) {
        const Status synced = syncFolder(folder);
        if (!synced && first) first = synced;
    }
    return first;
}

Status posixCreateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) != 0) return failWith(path, Why::CannotCreateFolder, errno);
    return syncFolder(parentOf(path, PathStyle::Posix));
}

void posixMakeFolders(const std::string& path) {
    for (std::size_t cut = path.find('/', 1);; cut = path.find('/', cut + 1)) {
        const std::string level = path.substr(0, cut);
        if (!level.empty() && ::mkdir(level.c_str(), 0777) == 0) syncFolder(parentOf(level, PathStyle::Posix));
        if (cut == std::string::npos) return;
    }
}

PathKind posixPathKind(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return PathKind::Missing;
    if (S_ISLNK(st.st_mode)) return PathKind::SymLink;
    if (S_ISDIR(st.st_mode)) return PathKind::Folder;
    if (S_ISREG(st.st_mode)) return PathKind::File;
    return PathKind::Other;
}

std::string posixCanonicalPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return {};
    std::string result(resolved);
    std::free(resolved);
    return result;
}

long temporaryOwner(const std::string& name) {
    const std::string prefix = kTemporaryPrefix;
    if (name.compare(0, prefix.size(), prefix) != 0 || name.size() < prefix.size() + 7) return 0;
    if (name.compare(name.size() - 4, 4, ".tmp") != 0) return 0;
    std::size_t i = prefix.size();
    long pid = 0;
    std::size_t digits = 0;
    while (i < name.size() && name[i] >= '0' && name[i] <= '9' && digits < 9) {
        pid = pid * 10 + (name[i++] - '0');
        ++digits;
    }
    if (digits == 0 || i >= name.size() || name[i] != '-') return 0;
    for (++i; i < name.size() - 4; ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
    }
    return pid;
}

void posixRemoveStaleTemporaries(const std::string& folder) {
    std::vector<std::string> names;
    if (!posixFolderNames(folder, names)) return;
    for (const std::string& name : names) {
        const long pid = temporaryOwner(name);
        if (pid <= 0 || pid == static_cast<long>(::getpid())) continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;  // its run is alive
        const std::string path = folder + "/" + name;
        struct stat st;
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(path.c_str());
    }
}

Status posixFolderNames(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return failWith(folder, Why::CannotListFolder, errno);
    while (const struct dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return Status::success();
}

}  // namespace codekiln
