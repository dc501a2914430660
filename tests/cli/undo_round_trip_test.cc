// A run and its undo on a generated tree, as real processes: subfolders, a
// hard link to a file outside the run, a symbolic link, other owners and
// modes (as root), odd names and names that are not UTF-8, several PATHs,
// relative and absolute, with -r. The restore must give every entry back
// exactly (bytes, owner, mode, and the inode of a hard-linked file) and
// touch nothing else, also after the run was killed at a random moment.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/scratch_tree.h"

namespace codekiln {
namespace {

using testing::ScratchTree;

struct Item {
    char kind = 'f';
    unsigned mode = 0, uid = 0, gid = 0;
    unsigned long inode = 0, links = 0;
    std::string bytes;  // a file's content, a link's target

    bool operator==(const Item& o) const {
        return kind == o.kind && mode == o.mode && uid == o.uid && gid == o.gid && inode == o.inode &&
               links == o.links && bytes == o.bytes;
    }
};

std::string readAll(const std::string& path) {
    std::string bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    char chunk[65536];
    for (ssize_t n; fd >= 0 && (n = ::read(fd, chunk, sizeof chunk)) > 0;) bytes.append(chunk, n);
    if (fd >= 0) ::close(fd);
    return bytes;
}

// Every entry below `folder` by its bytes name, but the folders `skipped`.
void walk(const std::string& folder, const std::string& relative, const std::vector<std::string>& skipped,
          std::map<std::string, Item>& out) {
    DIR* dir = ::opendir(folder.c_str());
    ASSERT_NE(dir, nullptr) << folder;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        const std::string rel = relative.empty() ? name : relative + "/" + name;
        if (name == "." || name == ".." || (relative.empty() && std::count(skipped.begin(), skipped.end(), name)))
            continue;
        const std::string path = folder + "/" + name;
        struct stat st {};
        ::lstat(path.c_str(), &st);
        Item item;
        item.mode = st.st_mode & 07777;
        item.uid = st.st_uid;
        item.gid = st.st_gid;
        // A rewrite swaps a new file in by rename, the run's and the undo's
        // alike; a file with several links is rewritten in place and must
        // stay that one file.
        item.links = st.st_nlink;
        item.inode = st.st_nlink > 1 ? st.st_ino : 0;
        if (S_ISDIR(st.st_mode)) {
            item.kind = 'd';
            item.inode = item.links = 0;  // a folder's link count follows its subfolders
            walk(path, rel, skipped, out);
        } else if (S_ISLNK(st.st_mode)) {
            item.kind = 'l';
            char target[4096];
            const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
            item.bytes.assign(target, n > 0 ? n : 0);
        } else {
            item.bytes = readAll(path);
        }
        out[rel] = item;
    }
    ::closedir(dir);
}

const char* const kTexts[] = {
    "program p\n  if (x > 1) then\n y = 2\n   end if\nend program p\n",
    "subroutine s(a, b)\ndo 10 i = 1, 2\nx = '  a  '\n10 continue\nend subroutine s\n",
    "module m\ncontains\n      function f()\n  select case (k)\n case (1)\n f = 1\n end select\nend function f\n"
    "end module m\n",
    "! only a comment\r\n\r\n",
};

const char* const kNames[] = {"a.f90", "b c.f90", "-lead.f90", "bad\xFF.f90", "x\xEF\xBF\xBD.f90",
                              "\xE4\xB8\xAD.f90", " blank.f90", "semi;colon.F90", "new\nline.f90"};

// A generated tree under `root`: cwd/rel (a relative folder PATH), abs (an
// absolute folder PATH), up/c.f90 (a file PATH outside the working folder),
// cwd/one.f90 (a relative file PATH), and entries no run may touch.
struct Generated {
    std::vector<std::string> paths;  // the PATHs, as given from cwd
    std::vector<std::string> files;  // every .f90 file the run may rewrite
    std::string linked;              // the one with a second name outside the run
};

// `symlink`: a link in the run's folder to a file of another PATH. Without
// a manifest only same-named files below one folder are restored, so the
// killed runs go without it.
Generated generate(const ScratchTree& tree, std::mt19937& random, bool root, bool symlink) {
    Generated g;
    const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    const auto put = [&](const std::string& rel) {
        tree.write(rel, kTexts[pick(std::size(kTexts))], pick(2) ? 0644 : 0600);
        if (root && pick(3) == 0) ::chown(tree.path(rel).c_str(), 4242, 4243);
        g.files.push_back(rel);
    };
    for (const std::string folder : {"cwd/rel", "cwd/rel/sub", "cwd/rel/sub/deeper", "cwd/rel/d\xFE", "abs",
                                     "abs/sub"}) {
        for (std::size_t k = 0, n = 1 + pick(3); k < n; ++k) put(folder + "/" + kNames[pick(std::size(kNames))]);
        tree.write(folder + "/notes.txt", "not Fortran\n");
    }
    put("up/c.f90");
    put("cwd/one.f90");
    tree.write("cwd/outside.f90", kTexts[0]);  // below the working folder, in no PATH
    // A second name of a file of the run, outside every PATH.
    g.linked = g.files.front();
    ::link(tree.path(g.linked).c_str(), tree.path("cwd/outside-link.f90").c_str());
    if (symlink) tree.symlink("cwd/rel/to-one.f90", "../one.f90");
    std::sort(g.files.begin(), g.files.end());
    g.files.erase(std::unique(g.files.begin(), g.files.end()), g.files.end());
    g.paths = {"-r", "rel", tree.path("abs"), "../up/c.f90", "one.f90"};
    return g;
}

struct Launch {
    pid_t pid = -1;
    int exitCode = -1;
};

// codekiln-cli with `arguments`, from `folder`, its home and settings in
// home/, its output in log/.
Launch start(const ScratchTree& tree, const std::vector<std::string>& arguments, const std::string& folder) {
    std::vector<std::string> all = {CODEKILN_CLI, "--backup-dir", tree.path("backup")};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string home = "HOME=" + tree.path("home"), config = "XDG_CONFIG_HOME=" + tree.path("home");
    std::string path = "PATH=/usr/bin:/bin";
    char* envp[] = {home.data(), config.data(), path.data(), nullptr};
    const int log = ::open(tree.path("log/out").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    Launch launch;
    launch.pid = ::fork();
    if (launch.pid == 0) {
        if (::chdir(folder.c_str()) != 0) ::_exit(127);
        ::dup2(log, 1);
        ::dup2(log, 2);
        ::execve(argv[0], argv.data(), envp);
        ::_exit(127);
    }
    ::close(log);
    return launch;
}

int finish(Launch& launch) {
    int status = 0;
    ::waitpid(launch.pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int run(const ScratchTree& tree, const std::vector<std::string>& arguments, const std::string& folder) {
    Launch launch = start(tree, arguments, folder);
    return finish(launch);
}

std::map<std::string, Item> snapshot(const ScratchTree& tree) {
    std::map<std::string, Item> items;
    walk(tree.root(), {}, {"backup", "home", "log"}, items);
    return items;
}

// What differs between two snapshots, one line per entry ("" when none).
std::string differences(const std::map<std::string, Item>& before, const std::map<std::string, Item>& after) {
    std::string out;
    const auto describe = [](const Item& i) {
        return std::string(1, i.kind) + " mode " + std::to_string(i.mode) + " owner " + std::to_string(i.uid) +
               ":" + std::to_string(i.gid) + " inode " + std::to_string(i.inode) + " links " +
               std::to_string(i.links) + " " + std::to_string(i.bytes.size()) + " bytes";
    };
    for (const auto& [name, item] : before) {
        const auto now = after.find(name);
        if (now == after.end()) out += "gone: " + name + "\n";
        else if (!(now->second == item)) out += name + ": " + describe(item) + " -> " + describe(now->second) + "\n";
    }
    for (const auto& [name, item] : after)
        if (!before.count(name)) out += "new: " + name + "\n";
    return out;
}

bool hasManifest(const ScratchTree& tree, int slot) {
    struct stat st {};
    return ::lstat(tree.path("backup/备份" + std::to_string(slot) + "/.codekiln-run.json").c_str(), &st) == 0;
}

// Whether slot `slot` holds the manifest of a run that reached its end.
bool hasFinishedManifest(const ScratchTree& tree, int slot) {
    const std::string text = tree.read("backup/备份" + std::to_string(slot) + "/.codekiln-run.json");
    return text.find("\"ended\"") != std::string::npos;
}

TEST(UndoRoundTrip, EveryFileComesBackExactlyAfterAWholeRun) {
    std::mt19937 random(20);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ScratchTree tree;
        tree.makeFolder("home");
        tree.makeFolder("log");
        const Generated g = generate(tree, random, ::geteuid() == 0, true);
        const auto before = snapshot(tree);
        ASSERT_EQ(run(tree, g.paths, tree.path("cwd")), 0) << tree.read("log/out");
        std::size_t changed = 0;
        for (const std::string& file : g.files) changed += tree.read(file) != before.at(file).bytes;
        ASSERT_GT(changed, 0u);
        EXPECT_EQ(tree.read("cwd/outside-link.f90"), tree.read(g.linked));  // rewritten in place

        EXPECT_EQ(run(tree, {"--restore"}, tree.path("abs")), 0) << tree.read("log/out");
        EXPECT_EQ(differences(before, snapshot(tree)), "") << tree.read("log/out");
    }
}

// Killed at a random moment, a run over one tree (-r) leaves its manifest,
// whole or begun, or only backup copies: either way the undo gives every
// file back, and a killed run's temporary files are gone with it. The slot
// is a reused one, holding an earlier run's copy of every file: none of
// those may go back over a file the killed run never reached.
TEST(UndoRoundTrip, EveryFileComesBackAfterTheRunWasKilled) {
    std::mt19937 random(27);
    ScratchTree probe;
    probe.makeFolder("home");
    probe.makeFolder("log");
    generate(probe, random, false, false);
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(run(probe, {"-r", "rel"}, probe.path("cwd")), 0) << probe.read("log/out");
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0);

    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(round);
        ScratchTree tree;
        tree.makeFolder("home");
        tree.makeFolder("log");
        const Generated g = generate(tree, random, ::geteuid() == 0, false);
        for (const std::string& file : g.files) {
            if (file.rfind("cwd/rel/", 0) == 0)
                tree.write("backup/备份2/" + file.substr(8), "! five runs back\n");
        }
        // An earlier, finished run elsewhere: the undo must not take it for
        // the killed one, which is newer.
        tree.write("earlier/e.f90", "program e\nx = 1\nend program e\n");
        ASSERT_EQ(run(tree, {"earlier"}, tree.root()), 0) << tree.read("log/out");
        const auto before = snapshot(tree);
        Launch launch = start(tree, {"-r", "rel"}, tree.path("cwd"));
        std::this_thread::sleep_for(std::chrono::microseconds(random() % (whole.count() + 1)));
        ::kill(launch.pid, SIGKILL);
        finish(launch);

        if (!hasManifest(tree, 2)) {
            // Killed before it began on its files: it touched none, and the
            // last run is still the earlier one.
        } else if (hasFinishedManifest(tree, 2)) {
            EXPECT_EQ(run(tree, {"--restore"}, tree.path("abs")), 0) << tree.read("log/out");
        } else {
            // Killed before its end: the last run still, undone from its
            // journal as from a whole manifest.
            EXPECT_EQ(run(tree, {"--restore"}, tree.path("abs")), 0) << tree.read("log/out");
        }
        EXPECT_EQ(differences(before, snapshot(tree)), "") << tree.read("log/out");
    }
}

}  // namespace
}  // namespace codekiln
