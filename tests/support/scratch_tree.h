// Real folders for fault-injection tests: a scratch tree that can be handed
// to user nobody, a snapshot of every entry in it to prove what changed, and
// the command line run in it (as nobody when the tests run as root, so that
// permissions hold).
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace codekiln::testing {

/// One entry of a snapshot: a file's bytes, a link's target, or a folder.
struct Entry {
    char kind = 'f';    ///< 'f' file, 'd' folder, 'l' symbolic link
    unsigned mode = 0;  ///< permission bits
    std::string bytes;  ///< a file's content, or a link's target
    bool readable = true;

    bool operator==(const Entry& o) const {
        return kind == o.kind && mode == o.mode && bytes == o.bytes && readable == o.readable;
    }
};

/// Every entry under a folder, by path relative to it.
using Snapshot = std::map<std::string, Entry>;

/// How a run of the command line ended.
struct ProgramRun {
    int exitCode = -1;  ///< -1 when it did not exit normally
    bool timedOut = false;
    std::string out;
    std::string err;
};

/// The number of jobs the runs of a test binary are made with: the test's
/// CODEKILN_TEST_JOBS (the suite runs some binaries once with 1 and once
/// with 2); 0, the program's default, when it is not set.
int testJobs();

/// A temporary folder, removed with everything in it at the end.
class ScratchTree {
public:
    ScratchTree();
    ~ScratchTree();
    ScratchTree(const ScratchTree&) = delete;
    ScratchTree& operator=(const ScratchTree&) = delete;

    const std::string& root() const { return root_; }
    std::string path(const std::string& relative) const { return root_ + "/" + relative; }

    /// Writes a file, making its folders; `mode` is applied last.
    void write(const std::string& relative, const std::string& bytes, unsigned mode = 0644) const;
    void makeFolder(const std::string& relative, unsigned mode = 0755) const;
    void symlink(const std::string& relative, const std::string& target) const;
    /// Whether symbolic links can be made here (Windows refuses them
    /// without a privilege, and Wine does not make them).
    bool canMakeLinks() const;
    void setMode(const std::string& relative, unsigned mode) const;
    void remove(const std::string& relative) const;
    std::string read(const std::string& relative) const;

#ifndef _WIN32
    /// Hands every entry to `uid`:`gid` (links included).
    void chownAll(uid_t uid, gid_t gid) const;
#endif
    /// Every entry under `relative` (the whole tree when empty), by path
    /// relative to it.
    Snapshot snapshot(const std::string& relative = {}) const;

private:
    std::string root_;
};

#ifndef _WIN32
/// Whether runs are made as user nobody: true for root, which can drop its
/// privileges; a non-root user runs as itself, for whom permissions hold.
bool runsAsNobody();
uid_t nobodyUid();
gid_t nobodyGid();

/// Whether `program` can be run by the user runs are made as (nobody can't
/// reach a build folder inside a private home, for instance).
bool canRun(const std::string& program);

/// Runs `program` with `arguments`, standard input empty, HOME and the XDG
/// folders inside `home`, as nobody when runsAsNobody(). Killed after
/// `seconds`. `environment` adds NAME=VALUE entries. With testJobs() set,
/// codekiln-cli (run itself, or named in the arguments of a shell that runs
/// it) is given --jobs=N first.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& home, int seconds = 600,
                      const std::vector<std::string>& environment = {});
#endif

}  // namespace codekiln::testing
