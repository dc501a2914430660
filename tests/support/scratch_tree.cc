// The scratch tree works on the file system directly (std::filesystem, and
// POSIX calls for users and processes), so that what a test sets up and what
// it checks do not go through the code under test. Paths are UTF-8; on
// Windows they reach the file system as UTF-16.
#include "support/scratch_tree.h"

#ifndef _WIN32
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <random>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace codekiln::testing {
namespace {

void require(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error(what + ": " + std::strerror(errno));
}

fs::path native(const std::string& path) { return fs::u8path(path); }

std::string readAllFrom(const std::string& path, bool& readable) {
    std::ifstream in(native(path), std::ios::binary);
    readable = static_cast<bool>(in);
    if (!readable) return {};
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace

int testJobs() {
    const char* jobs = std::getenv("CODEKILN_TEST_JOBS");
    return jobs != nullptr ? std::atoi(jobs) : 0;
}

ScratchTree::ScratchTree() {
    std::random_device random;
    for (int attempt = 0; root_.empty(); ++attempt) {
        const fs::path candidate = fs::temp_directory_path() / ("codekiln-faults-" + std::to_string(random()));
        if (fs::create_directory(candidate)) root_ = candidate.u8string();
        require(attempt < 100, "temporary folder");
    }
    setMode({}, 0755);
}

ScratchTree::~ScratchTree() {
    // Every folder gets its owner's full access back, so that it can be
    // emptied whatever a test did to it.
    std::error_code ec;
    fs::permissions(native(root_), fs::perms(0755), ec);
    for (const auto& [relative, entry] : snapshot())
        if (entry.kind == 'd') fs::permissions(native(path(relative)), fs::perms(0755), ec);
    fs::remove_all(native(root_), ec);
}

void ScratchTree::write(const std::string& relative, const std::string& bytes, unsigned mode) const {
    const fs::path file = native(path(relative));
    fs::create_directories(file.parent_path());
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        require(static_cast<bool>(out), "write " + file.string());
    }
    setMode(relative, mode);
}

void ScratchTree::makeFolder(const std::string& relative, unsigned mode) const {
    fs::create_directories(native(path(relative)));
    setMode(relative, mode);
}

void ScratchTree::symlink(const std::string& relative, const std::string& target) const {
    fs::create_directories(native(path(relative)).parent_path());
    std::error_code ec;
    fs::create_symlink(native(target), native(path(relative)), ec);
    require(!ec, "symlink " + relative);
}

bool ScratchTree::canMakeLinks() const {
    const fs::path probe = native(path(".link-probe"));
    std::error_code ec;
    fs::create_symlink(native(path(".link-probe-target")), probe, ec);
    const bool made = !ec && fs::is_symlink(fs::symlink_status(probe, ec));
    fs::remove(probe, ec);
    return made;
}

// On Windows only the owner's write bit means something: the read-only mark.
void ScratchTree::setMode(const std::string& relative, unsigned mode) const {
    std::error_code ec;
    fs::permissions(native(relative.empty() ? root_ : path(relative)), fs::perms(mode), ec);
    require(!ec, "chmod " + relative);
}

void ScratchTree::remove(const std::string& relative) const { fs::remove(native(path(relative))); }

std::string ScratchTree::read(const std::string& relative) const {
    bool readable = false;
    return readAllFrom(path(relative), readable);
}

#ifndef _WIN32
void ScratchTree::chownAll(uid_t uid, gid_t gid) const {
    require(::lchown(root_.c_str(), uid, gid) == 0, "lchown " + root_);
    for (const auto& entry : snapshot())
        require(::lchown(path(entry.first).c_str(), uid, gid) == 0, "lchown " + entry.first);
}
#endif

namespace {

/// Adds the entries of folder `base`/`relative` to `shot`, links not followed.
void walk(const std::string& base, const std::string& relative, Snapshot& shot) {
    const std::string folder = relative.empty() ? base : base + "/" + relative;
    std::error_code ec;
    std::vector<std::string> names;
    for (fs::directory_iterator it(native(folder), ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().u8string());
    for (const std::string& name : names) {
        const std::string key = relative.empty() ? name : relative + "/" + name;
        const std::string full = base + "/" + key;
        const fs::file_status st = fs::symlink_status(native(full), ec);
        if (ec) continue;
        Entry entry;
        entry.mode = static_cast<unsigned>(st.permissions()) & 07777;
        if (fs::is_symlink(st)) {
            entry.kind = 'l';
            entry.bytes = fs::read_symlink(native(full), ec).u8string();
        } else if (fs::is_directory(st)) {
            entry.kind = 'd';
        } else {
            entry.bytes = readAllFrom(full, entry.readable);
        }
        shot[key] = entry;
        if (entry.kind == 'd') walk(base, key, shot);
    }
}

}  // namespace

Snapshot ScratchTree::snapshot(const std::string& relative) const {
    Snapshot shot;
    walk(relative.empty() ? root_ : path(relative), {}, shot);
    return shot;
}

#ifndef _WIN32
bool runsAsNobody() { return ::geteuid() == 0; }

uid_t nobodyUid() {
    const passwd* pw = ::getpwnam("nobody");
    return pw ? pw->pw_uid : 65534;
}

gid_t nobodyGid() {
    const group* gr = ::getgrnam("nogroup");
    return gr ? gr->gr_gid : 65534;
}

bool canRun(const std::string& program) {
    if (!runsAsNobody()) return ::access(program.c_str(), X_OK) == 0;
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(nobodyGid()) != 0 || ::setuid(nobodyUid()) != 0)
            ::_exit(1);
        ::_exit(::access(program.c_str(), X_OK) == 0 ? 0 : 1);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& home, int seconds, const std::vector<std::string>& environment) {
    char outName[] = "/tmp/codekiln-out-XXXXXX";
    char errName[] = "/tmp/codekiln-err-XXXXXX";
    const int outFd = ::mkstemp(outName);
    const int errFd = ::mkstemp(errName);
    require(outFd >= 0 && errFd >= 0, "mkstemp");

    std::vector<std::string> env = {
        "PATH=/usr/bin:/bin",
        "HOME=" + home,
        "XDG_CONFIG_HOME=" + home + "/config",
        "XDG_DATA_HOME=" + home + "/data",
        "XDG_CACHE_HOME=" + home + "/cache",
        "LANG=C.UTF-8",
        "LC_ALL=C.UTF-8",
    };
    for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "QT_QPA_PLATFORM"})
        if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    env.insert(env.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = arguments;
    args.insert(args.begin(), program);
    if (testJobs() > 0) {
        const std::string jobs = "--jobs=" + std::to_string(testJobs());
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& a = args[i];
            if (a.size() >= 12 && a.compare(a.size() - 12, 12, "codekiln-cli") == 0)
                args.insert(args.begin() + static_cast<std::ptrdiff_t>(++i), jobs);
        }
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const bool drop = runsAsNobody();
    const uid_t uid = nobodyUid();
    const gid_t gid = nobodyGid();

    const pid_t pid = ::fork();
    require(pid >= 0, "fork");
    if (pid == 0) {
        const int devNull = ::open("/dev/null", O_RDONLY);
        ::dup2(devNull, 0);
        ::dup2(outFd, 1);
        ::dup2(errFd, 2);
        if (drop && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)) ::_exit(126);
        ::alarm(static_cast<unsigned>(seconds));
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ProgramRun run;
    if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    run.timedOut = WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM;
    bool readable = false;
    run.out = readAllFrom(outName, readable);
    run.err = readAllFrom(errName, readable);
    ::close(outFd);
    ::close(errFd);
    ::unlink(outName);
    ::unlink(errName);
    return run;
}

#endif

}  // namespace codekiln::testing
