// The run's file operations on POSIX. A new file is always a fresh
// temporary file in the folder it ends up in (created exclusively, never
// through a link), written, given its permissions and times, synced, and
// renamed over the old entry: whatever stood there, a symbolic link
// included, is replaced, never followed. The build takes this file only
// where there is POSIX.
#include "platform/posix_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/file_names.h"
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

/// Writes, syncs and closes the temporary file `fd`; on failure removes it.
Status finishTemporary(int fd, const std::string& tempPath, const std::string& bytes,
                       const std::string& path) {
    Status status = writeAll(fd, bytes, path);
    if (status && ::fdatasync(fd) != 0) status = failWith(path, Why::CannotWrite, errno);
    if (::close(fd) != 0 && status) status = failWith(path, Why::CannotWrite, errno);
    if (!status) ::unlink(tempPath.c_str());
    return status;
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

/// A complete, synced temporary file beside `to` holding `bytes`, with the
/// permission bits (no special bits) and modification time of `of`.
Status writeLikeFile(const std::string& to, const std::string& bytes, const FileIdentity& of, std::string& temp) {
    const int fd = createTemporary(parentOf(to, PathStyle::Posix), temp);
    if (fd < 0) return failWith(to, Why::CannotWrite, errno);
    const struct timespec times[2] = {
        {0, UTIME_NOW},
        {static_cast<time_t>(of.modifiedNs / 1000000000), static_cast<long>(of.modifiedNs % 1000000000)}};
    if (::fchmod(fd, static_cast<mode_t>(of.mode & 0777)) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        return failWith(to, Why::CannotWrite, error);
    }
    const Status status = finishTemporary(fd, temp, bytes, to);
    if (!status) return status;
    // The file's modification time, set after the last write would move it.
    ::utimensat(AT_FDCWD, temp.c_str(), times, AT_SYMLINK_NOFOLLOW);
    return Status::success();
}

}  // namespace

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
    if (::rename(temp.c_str(), to.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return failWith(to, Why::CannotWrite, error);
    }
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

namespace {

Status replace(const std::string& path, const std::string& bytes, const FileIdentity& read, bool restoring) {
    const std::string target = writeTarget(path);
    struct stat st;
    if (::stat(target.c_str(), &st) != 0 || !identityOf(st).unchangedAs(read))
        return changedUnderUs(path, restoring);
    // The owner's write permission is the file's read-only mark; honour it
    // even for a user who could write anyway.
    if (!(st.st_mode & S_IWUSR)) return Status::failure(Why::ReadOnly, escapedName(path));
    if (read.links > 1) return rewriteInPlace(path, target, bytes, read, restoring);

    std::string temp;
    const int fd = createTemporary(parentOf(target, PathStyle::Posix), temp);
    if (fd < 0) return failWith(path, Why::CannotWrite, errno);
    // Owner and group where this process may set them; the set-user and
    // set-group bits only where the owner was kept.
    // A restore gives the file back as it was or not at all.
    mode_t mode = static_cast<mode_t>(read.mode & 07777);
    if (::fchown(fd, static_cast<uid_t>(read.owner), static_cast<gid_t>(read.group)) != 0) {
        if (restoring) {
            const int error = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            return failWith(path, Why::CannotKeepOwner, error);
        }
        mode &= 01777;
    }
    if (::fchmod(fd, mode) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        return failWith(path, Why::CannotWrite, error);
    }
    Status status = finishTemporary(fd, temp, bytes, path);
    if (!status) return status;
    // The last look before the swap: a file another program saved meanwhile
    // is left as that program left it.
    if (::stat(target.c_str(), &st) != 0 || !identityOf(st).unchangedAs(read)) {
        ::unlink(temp.c_str());
        return changedUnderUs(path, restoring);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return failWith(path, Why::CannotWrite, error);
    }
    return Status::success();
}

}  // namespace

Status posixReplaceFile(const std::string& path, const std::string& bytes, const FileIdentity& read) {
    return replace(path, bytes, read, false);
}

Status posixRestoreFile(const std::string& path, const std::string& bytes, const FileIdentity& read) {
    return replace(path, bytes, read, true);
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

}  // namespace

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
