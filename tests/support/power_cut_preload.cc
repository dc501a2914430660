// A power cut for tests, preloaded into the program under test (Linux only).
// It keeps, outside the tree, what a disk would still hold if the power went
// off now, and can kill the program at the N-th change it makes to the tree.
//
//   POWER_CUT_ROOT   the tree watched (absolute path; nothing outside it is)
//   POWER_CUT_STATE  an empty folder outside the tree for what is durable
//   POWER_CUT_AT     kill the program with SIGKILL just before its N-th
//                    change to the tree (1, 2, ...); unset or 0: never
//
// The model of the disk, pessimistic on purpose:
// - When the program starts, the whole tree is durable.
// - A file's bytes become durable only at a successful fsync or fdatasync of
//   it, a syncfs of its file system, a sync, or a write through a descriptor
//   opened with O_SYNC or O_DSYNC. A file created since has no durable bytes
//   (it comes back empty). Nothing is implied by rename, close, or a rename
//   over an existing file (no "flush on rename").
// - A folder's entries (names and the inodes they lead to) become durable
//   only at a successful fsync of the folder itself, a syncfs or a sync.
//   Every create, rename, link and unlink in it since is undone, and a
//   syncing a file does not make its name durable, nor syncing a folder its
//   entry in its parent.
// - Folders and files are independent: no ordering between them is kept.
// - A file with unsynced bytes comes back whole at its last synced bytes:
//   torn writes (some pages of an unsynced write kept) are not modelled.
// - Modes, owners and times are not modelled (a file comes back with the mode
//   its folder's entry had when that folder was last durable).
// The disk under the test never loses power, so a sync of the tree is not
// made at all (it only needs a valid descriptor); its durable state is taken
// under one lock that every change takes too. The program's syncs outside
// the tree are made as usual. Every inode
// the durable state names stays open (O_PATH) while the program runs, so its
// number cannot be reused by a new file.
//
// The state folder holds "root" (the tree's inode number), "calls" (the
// changes counted so far), d/INODE (a folder's durable entries, one record a
// line: kind, inode, mode, name length, name, target length, target) and
// f/INODE (a file's durable bytes). tests/support/power_cut_disk.cc puts the
// tree back to it after the kill.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

namespace {

struct Model {
    bool active = false;
    std::string root;  // no trailing '/'
    std::string state;
    dev_t device = 0;
    long killAt = 0;
    long counted = 0;
    int callsFd = -1;
    std::set<ino_t> pinned;
};

std::recursive_mutex& lock() {
    static std::recursive_mutex m;
    return m;
}

thread_local int inside = 0;  // the model's own file work is never counted

struct Inside {
    Inside() { ++inside; }
    ~Inside() { --inside; }
};

template <typename F>
F real(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

bool readFd(int fd, std::string& bytes) {
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
}

void writeWhole(const std::string& path, const std::string& bytes) {
    const std::string temp = path + ".new";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) ::abort();
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) ::abort();
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (::rename(temp.c_str(), path.c_str()) != 0) ::abort();
}

Model& model();

/// Keeps the inode `name` in `folderFd` leads to from being freed.
void pin(Model& m, int folderFd, const char* name, ino_t inode, int follow = O_NOFOLLOW) {
    if (!m.pinned.insert(inode).second) return;
    if (::openat(folderFd, name, O_PATH | follow | O_CLOEXEC) < 0) m.pinned.erase(inode);
}

/// The bytes of the regular file `fd` as they are now, into f/INODE.
bool takeFile(Model& m, int fd, std::string& bytes, ino_t& inode) {
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != m.device) return false;
    inode = st.st_ino;
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    int in = ::open(self.c_str(), O_RDONLY | O_CLOEXEC);
    bool ok = false;
    if (in >= 0) {
        ok = readFd(in, bytes);
        ::close(in);
    }
    if (!ok) {  // a file this process may write but not open again for reading
        bytes.clear();
        char chunk[65536];
        off_t at = 0;
        for (ssize_t n; (n = ::pread(fd, chunk, sizeof chunk, at)) > 0; at += n) bytes.append(chunk, n);
    }
    return true;
}

/// The entries of the folder `fd` as they are now.
bool takeFolder(Model& m, int fd, std::string& records, ino_t& inode) {
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_dev != m.device) return false;
    inode = st.st_ino;
    const int own = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (own < 0) return false;
    DIR* dir = ::fdopendir(own);
    if (dir == nullptr) {
        ::close(own);
        return false;
    }
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat es;
        if (::fstatat(own, e->d_name, &es, AT_SYMLINK_NOFOLLOW) != 0) continue;
        char kind = S_ISDIR(es.st_mode) ? 'd' : S_ISREG(es.st_mode) ? 'f' : S_ISLNK(es.st_mode) ? 'l' : 0;
        if (kind == 0) continue;
        std::string target;
        if (kind == 'l') {
            char buffer[4096];
            const ssize_t n = ::readlinkat(own, e->d_name, buffer, sizeof buffer);
            if (n > 0) target.assign(buffer, static_cast<std::size_t>(n));
        }
        char head[96];
        std::snprintf(head, sizeof head, "%c %llu %o %zu ", kind, static_cast<unsigned long long>(es.st_ino),
                      static_cast<unsigned>(es.st_mode & 07777), name.size());
        records += head + name + " " + std::to_string(target.size()) + " " + target + "\n";
        pin(m, own, e->d_name, es.st_ino);
    }
    ::closedir(dir);
    return true;
}

void storeFile(Model& m, ino_t inode, const std::string& bytes) {
    writeWhole(m.state + "/f/" + std::to_string(inode), bytes);
}

void storeFolder(Model& m, ino_t inode, const std::string& records) {
    writeWhole(m.state + "/d/" + std::to_string(inode), records);
}

/// Everything below `path` becomes durable (a syncfs, a sync, the start).
void takeTree(Model& m, const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    std::string records;
    ino_t inode = 0;
    if (takeFolder(m, fd, records, inode)) {
        storeFolder(m, inode, records);
        DIR* dir = ::fdopendir(fd);
        while (const dirent* e = dir != nullptr ? ::readdir(dir) : nullptr) {
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            struct stat es;
            if (::fstatat(::dirfd(dir), e->d_name, &es, AT_SYMLINK_NOFOLLOW) != 0) continue;
            if (S_ISDIR(es.st_mode)) {
                takeTree(m, path + "/" + name);
            } else if (S_ISREG(es.st_mode)) {
                const int file = ::openat(::dirfd(dir), e->d_name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
                std::string bytes;
                ino_t fileInode = 0;
                if (file >= 0 && takeFile(m, file, bytes, fileInode)) storeFile(m, fileInode, bytes);
                if (file >= 0) ::close(file);
            }
        }
        if (dir != nullptr) ::closedir(dir);
        return;
    }
    ::close(fd);
}

Model& model() {
    static Model m;
    static std::once_flag once;
    std::call_once(once, [] {
        Inside guard;
        const char* root = std::getenv("POWER_CUT_ROOT");
        const char* state = std::getenv("POWER_CUT_STATE");
        if (root == nullptr || state == nullptr || root[0] != '/') return;
        m.root = root;
        while (m.root.size() > 1 && m.root.back() == '/') m.root.pop_back();
        m.state = state;
        if (const char* at = std::getenv("POWER_CUT_AT")) m.killAt = std::atol(at);
        struct stat st;
        if (::stat(m.root.c_str(), &st) != 0) return;
        m.device = st.st_dev;
        ::mkdir((m.state + "/d").c_str(), 0700);
        ::mkdir((m.state + "/f").c_str(), 0700);
        takeTree(m, m.root);
        writeWhole(m.state + "/root", std::to_string(st.st_ino) + "\n");
        m.callsFd = ::open((m.state + "/calls").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        m.active = true;
    });
    return m;
}

bool underRoot(const Model& m, const std::string& path) {
    return path == m.root || (path.size() > m.root.size() && path.compare(0, m.root.size(), m.root) == 0 &&
                              path[m.root.size()] == '/');
}

std::string fdPath(int fd) {
    char buffer[4096];
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(self.c_str(), buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

bool fdUnderRoot(const Model& m, int fd) { return fd >= 0 && underRoot(m, fdPath(fd)); }

bool pathUnderRoot(const Model& m, int folderFd, const char* path) {
    if (path == nullptr) return false;
    if (path[0] == '/') return underRoot(m, path);
    std::string base;
    if (folderFd == AT_FDCWD) {
        char buffer[4096];
        if (::getcwd(buffer, sizeof buffer) == nullptr) return false;
        base = buffer;
    } else {
        base = fdPath(folderFd);
    }
    return underRoot(m, *path ? base + "/" + path : base);
}

/// One change to the tree: counted, and the power cut when it is the N-th.
void change(Model& m) {
    ++m.counted;
    if (m.callsFd >= 0) {
        const std::string text = std::to_string(m.counted) + "\n";
        if (::pwrite(m.callsFd, text.data(), text.size(), 0) < 0) ::abort();
    }
    if (m.killAt > 0 && m.counted == m.killAt) ::kill(::getpid(), SIGKILL);
}

/// Counts a change made through the paths given (relative to `folderFd`).
struct PathChange {
    std::unique_lock<std::recursive_mutex> held;
    PathChange(int folderFd, const char* path, int otherFd = AT_FDCWD, const char* other = nullptr) {
        if (inside) return;
        Model& m = model();
        if (!m.active) return;
        held = std::unique_lock<std::recursive_mutex>(lock());
        Inside guard;
        if (pathUnderRoot(m, folderFd, path) || (other != nullptr && pathUnderRoot(m, otherFd, other)))
            change(m);
    }
};

/// Counts a change made through the descriptor `fd`.
struct FdChange {
    std::unique_lock<std::recursive_mutex> held;
    bool counted = false;
    explicit FdChange(int fd) {
        if (inside) return;
        Model& m = model();
        if (!m.active) return;
        held = std::unique_lock<std::recursive_mutex>(lock());
        Inside guard;
        if (fdUnderRoot(m, fd)) {
            counted = true;
            change(m);
        }
    }
};

bool writesAreSynced(int fd) { return (::fcntl(fd, F_GETFL) & (O_SYNC | O_DSYNC)) != 0; }

/// After a write through a descriptor opened O_SYNC or O_DSYNC.
void afterSyncedWrite(const FdChange& c, int fd, ssize_t result) {
    if (!c.counted || result < 0) return;
    Inside guard;
    if (!writesAreSynced(fd)) return;
    Model& m = model();
    std::string bytes;
    ino_t inode = 0;
    if (takeFile(m, fd, bytes, inode)) storeFile(m, inode, bytes);
}

bool creates(int flags) { return (flags & (O_CREAT | O_TRUNC)) != 0 || (flags & O_TMPFILE) == O_TMPFILE; }

/// A sync of `fd`: what it makes durable is taken first, kept if it worked.
template <typename Sync>
int syncing(int fd, bool wholeFileSystem, Sync sync) {
    if (inside) return sync();
    Model& m = model();
    if (!m.active) return sync();
    std::unique_lock<std::recursive_mutex> held(lock());
    Inside guard;
    struct stat st;
    const bool ours =
        wholeFileSystem ? (fd < 0 || (::fstat(fd, &st) == 0 && st.st_dev == m.device)) : fdUnderRoot(m, fd);
    if (!ours) return sync();
    change(m);
    if (wholeFileSystem) {
        takeTree(m, m.root);
        return 0;
    }
    std::string taken;
    ino_t inode = 0;
    if (takeFile(m, fd, taken, inode)) {
        storeFile(m, inode, taken);
        pin(m, AT_FDCWD, ("/proc/self/fd/" + std::to_string(fd)).c_str(), inode, 0);
    } else if (takeFolder(m, fd, taken, inode)) {
        storeFolder(m, inode, taken);
    }
    return 0;
}

int openMode(int flags, va_list args) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, int) : 0;
}

}  // namespace

extern "C" {

#define CK_REAL(name, type) static const auto real_##name = real<type>(#name)

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const int mode = openMode(flags, args);
    va_end(args);
    CK_REAL(open, int (*)(const char*, int, ...));
    if (!creates(flags)) return real_open(path, flags, mode);
    PathChange c(AT_FDCWD, path);
    return real_open(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const int mode = openMode(flags, args);
    va_end(args);
    CK_REAL(open64, int (*)(const char*, int, ...));
    if (!creates(flags)) return real_open64(path, flags, mode);
    PathChange c(AT_FDCWD, path);
    return real_open64(path, flags, mode);
}

int openat(int folder, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const int mode = openMode(flags, args);
    va_end(args);
    CK_REAL(openat, int (*)(int, const char*, int, ...));
    if (!creates(flags)) return real_openat(folder, path, flags, mode);
    PathChange c(folder, path);
    return real_openat(folder, path, flags, mode);
}

int openat64(int folder, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const int mode = openMode(flags, args);
    va_end(args);
    CK_REAL(openat64, int (*)(int, const char*, int, ...));
    if (!creates(flags)) return real_openat64(folder, path, flags, mode);
    PathChange c(folder, path);
    return real_openat64(folder, path, flags, mode);
}

int creat(const char* path, mode_t mode) {
    CK_REAL(creat, int (*)(const char*, mode_t));
    PathChange c(AT_FDCWD, path);
    return real_creat(path, mode);
}

int creat64(const char* path, mode_t mode) {
    CK_REAL(creat64, int (*)(const char*, mode_t));
    PathChange c(AT_FDCWD, path);
    return real_creat64(path, mode);
}

ssize_t write(int fd, const void* data, size_t size) {
    CK_REAL(write, ssize_t(*)(int, const void*, size_t));
    if (inside || fd <= 2) return real_write(fd, data, size);
    FdChange c(fd);
    const ssize_t result = real_write(fd, data, size);
    afterSyncedWrite(c, fd, result);
    return result;
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t at) {
    CK_REAL(pwrite, ssize_t(*)(int, const void*, size_t, off_t));
    FdChange c(fd);
    const ssize_t result = real_pwrite(fd, data, size, at);
    afterSyncedWrite(c, fd, result);
    return result;
}

ssize_t pwrite64(int fd, const void* data, size_t size, off64_t at) {
    CK_REAL(pwrite64, ssize_t(*)(int, const void*, size_t, off64_t));
    FdChange c(fd);
    const ssize_t result = real_pwrite64(fd, data, size, at);
    afterSyncedWrite(c, fd, result);
    return result;
}

ssize_t writev(int fd, const struct iovec* parts, int count) {
    CK_REAL(writev, ssize_t(*)(int, const struct iovec*, int));
    FdChange c(fd);
    const ssize_t result = real_writev(fd, parts, count);
    afterSyncedWrite(c, fd, result);
    return result;
}

ssize_t pwritev(int fd, const struct iovec* parts, int count, off_t at) {
    CK_REAL(pwritev, ssize_t(*)(int, const struct iovec*, int, off_t));
    FdChange c(fd);
    const ssize_t result = real_pwritev(fd, parts, count, at);
    afterSyncedWrite(c, fd, result);
    return result;
}

int ftruncate(int fd, off_t size) {
    CK_REAL(ftruncate, int (*)(int, off_t));
    FdChange c(fd);
    return real_ftruncate(fd, size);
}

int ftruncate64(int fd, off64_t size) {
    CK_REAL(ftruncate64, int (*)(int, off64_t));
    FdChange c(fd);
    return real_ftruncate64(fd, size);
}

int truncate(const char* path, off_t size) {
    CK_REAL(truncate, int (*)(const char*, off_t));
    PathChange c(AT_FDCWD, path);
    return real_truncate(path, size);
}

int fallocate(int fd, int mode, off_t at, off_t size) {
    CK_REAL(fallocate, int (*)(int, int, off_t, off_t));
    FdChange c(fd);
    return real_fallocate(fd, mode, at, size);
}

ssize_t copy_file_range(int in, off64_t* inAt, int out, off64_t* outAt, size_t size, unsigned flags) {
    CK_REAL(copy_file_range, ssize_t(*)(int, off64_t*, int, off64_t*, size_t, unsigned));
    FdChange c(out);
    return real_copy_file_range(in, inAt, out, outAt, size, flags);
}

ssize_t sendfile(int out, int in, off_t* at, size_t size) {
    CK_REAL(sendfile, ssize_t(*)(int, int, off_t*, size_t));
    FdChange c(out);
    return real_sendfile(out, in, at, size);
}

int rename(const char* from, const char* to) {
    CK_REAL(rename, int (*)(const char*, const char*));
    PathChange c(AT_FDCWD, from, AT_FDCWD, to);
    return real_rename(from, to);
}

int renameat(int fromFolder, const char* from, int toFolder, const char* to) {
    CK_REAL(renameat, int (*)(int, const char*, int, const char*));
    PathChange c(fromFolder, from, toFolder, to);
    return real_renameat(fromFolder, from, toFolder, to);
}

int renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) {
    CK_REAL(renameat2, int (*)(int, const char*, int, const char*, unsigned));
    PathChange c(fromFolder, from, toFolder, to);
    return real_renameat2(fromFolder, from, toFolder, to, flags);
}

int link(const char* from, const char* to) {
    CK_REAL(link, int (*)(const char*, const char*));
    PathChange c(AT_FDCWD, to);
    return real_link(from, to);
}

int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags) {
    CK_REAL(linkat, int (*)(int, const char*, int, const char*, int));
    PathChange c(toFolder, to);
    return real_linkat(fromFolder, from, toFolder, to, flags);
}

int symlink(const char* target, const char* path) {
    CK_REAL(symlink, int (*)(const char*, const char*));
    PathChange c(AT_FDCWD, path);
    return real_symlink(target, path);
}

int unlink(const char* path) {
    CK_REAL(unlink, int (*)(const char*));
    PathChange c(AT_FDCWD, path);
    return real_unlink(path);
}

int unlinkat(int folder, const char* path, int flags) {
    CK_REAL(unlinkat, int (*)(int, const char*, int));
    PathChange c(folder, path);
    return real_unlinkat(folder, path, flags);
}

int mkdir(const char* path, mode_t mode) {
    CK_REAL(mkdir, int (*)(const char*, mode_t));
    PathChange c(AT_FDCWD, path);
    return real_mkdir(path, mode);
}

int mkdirat(int folder, const char* path, mode_t mode) {
    CK_REAL(mkdirat, int (*)(int, const char*, mode_t));
    PathChange c(folder, path);
    return real_mkdirat(folder, path, mode);
}

int rmdir(const char* path) {
    CK_REAL(rmdir, int (*)(const char*));
    PathChange c(AT_FDCWD, path);
    return real_rmdir(path);
}

int fsync(int fd) {
    CK_REAL(fsync, int (*)(int));
    return syncing(fd, false, [fd] { return real_fsync(fd); });
}

int fdatasync(int fd) {
    CK_REAL(fdatasync, int (*)(int));
    return syncing(fd, false, [fd] { return real_fdatasync(fd); });
}

int syncfs(int fd) {
    CK_REAL(syncfs, int (*)(int));
    return syncing(fd, true, [fd] { return real_syncfs(fd); });
}

void sync(void) {
    CK_REAL(sync, void (*)(void));
    syncing(-1, true, [] {
        real_sync();
        return 0;
    });
}

}  // extern "C"
