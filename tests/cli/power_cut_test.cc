// Power cuts during a run, as real processes: the command line runs with the
// power-cut library preloaded, is killed just before its N-th change to the
// tree, and the tree is put back to what a disk that drops everything not
// synced would hold. Walked over the whole run, every file must then be its
// old bytes or its new ones, every file with new bytes must have its old
// bytes in a backup slot that the undo brings back, and a later run must
// work without taking leftovers for files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "support/power_cut_disk.h"
#include "support/scratch_tree.h"

namespace codekiln {
namespace {

namespace fs = std::filesystem;
using testing::ProgramRun;
using testing::ScratchTree;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The user's files, by path below the run's folder, and where their text
// comes from: the examples, or one of them already formatted.
struct Source {
    const char* file;
    const char* example;
    bool formatted;
};
const Source kSources[] = {
    {"select_case.f90", "select_case.f90", false},      {"heat.f90", "heat_gb18030.f90", false},
    {"done.f90", "geometry_module.f90", true},          {"loops.f90", "labelled_loops.f90", false},
    {"sub/geometry.f90", "geometry_module.f90", false},
};
const char* const kHardLink = "loops-link.f90";  // a second name of loops.f90
const char* const kLinked = "loops.f90";

// One power cut after another in one scratch folder: tree/ is watched (the
// run's folder work/ and the backup root backup/), state/ and home/ are not.
class PowerCut {
public:
    PowerCut(std::vector<std::string> options, int extraFiles) : options_(std::move(options)) {
        // More small files than a run commits at once: several batches.
        for (int k = 0; k < extraFiles; ++k) {
            const std::string n = std::to_string(k);
            old_["many/f" + n + ".f90"] = "program p" + n + "\nx = " + n + "\nend program p" + n + "\n";
        }
        for (const Source& s : kSources) {
            std::string bytes = readFile(std::string(CODEKILN_EXAMPLES) + "/" + s.example);
            if (s.formatted) bytes = formatted(s.example);
            old_[s.file] = bytes;
        }
        old_[kHardLink] = old_[kLinked];
    }

    const std::map<std::string, std::string>& oldBytes() const { return old_; }
    std::string work() const { return scratch_.path("tree/work"); }
    std::string backup() const { return scratch_.path("tree/backup"); }

    /// A fresh tree, nothing durable recorded yet.
    void reset() {
        for (const char* f : {"tree", "state", "home"}) fs::remove_all(scratch_.path(f));
        for (const auto& [name, bytes] : old_)
            if (name != kHardLink) scratch_.write("tree/work/" + name, bytes);
        fs::create_hard_link(scratch_.path("tree/work/" + std::string(kLinked)),
                             scratch_.path("tree/work/" + std::string(kHardLink)));
        scratch_.makeFolder("state");
        scratch_.makeFolder("home");
        handOver();
    }

    /// The run, killed before its `cutAt`-th change (0: never).
    ProgramRun runCut(long cutAt) const { return run({"-r", "--backup-dir", backup(), work()}, cutAt); }

    /// The program with the layout's options (not for --restore), always
    /// preloaded: its syncs of the tree are then recorded and not made.
    ProgramRun run(std::vector<std::string> arguments, long cutAt = 0) const {
        if (arguments.empty() || arguments[0] != "--restore")
            arguments.insert(arguments.begin(), options_.begin(), options_.end());
        return testing::runProgram(
            CODEKILN_CLI, arguments, scratch_.path("home"), 60,
            {"LD_PRELOAD=" + std::string(POWER_CUT_LIBRARY), "POWER_CUT_ROOT=" + scratch_.path("tree"),
             "POWER_CUT_STATE=" + scratch_.path("state"), "POWER_CUT_AT=" + std::to_string(cutAt)});
    }

    /// The tree as the disk holds it after the cut.
    std::string rollBack() {
        const std::string error = testing::rollBackToDisk(scratch_.path("tree"), scratch_.path("state"));
        handOver();
        return error;
    }

    long changes() const { return testing::powerCutChanges(scratch_.path("state")); }

    /// The tree as it is now taken for durable, as a program starting now finds it.
    void settle() {
        fs::remove_all(scratch_.path("state"));
        scratch_.makeFolder("state");
        handOver();
    }

private:
    std::string formatted(const char* example) const {
        const ProgramRun r = testing::runProgram(
            CODEKILN_CLI,
            [&] {
                std::vector<std::string> a = options_;
                a.push_back("--stdout");
                a.push_back(std::string(CODEKILN_EXAMPLES) + "/" + example);
                return a;
            }(),
            scratch_.root(), 60);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out;
    }

    void handOver() const {
        if (testing::runsAsNobody()) scratch_.chownAll(testing::nobodyUid(), testing::nobodyGid());
    }

    std::vector<std::string> options_;
    ScratchTree scratch_;
    std::map<std::string, std::string> old_;
};

bool sharesInode(const std::string& a, const std::string& b) {
    struct stat sa {}, sb{};
    return ::lstat(a.c_str(), &sa) == 0 && ::lstat(b.c_str(), &sb) == 0 && sa.st_ino == sb.st_ino &&
           sa.st_dev == sb.st_dev;
}

bool isTemporary(const std::string& path) {
    return fs::path(path).filename().string().rfind(".codekiln-", 0) == 0 && path.size() > 4 &&
           path.compare(path.size() - 4, 4, ".tmp") == 0;
}

// What a cut left, checked against the files' old and new bytes; returns the
// files that hold their new bytes.
std::vector<std::string> checkCut(const PowerCut& cut, const std::map<std::string, std::string>& fresh,
                                  const std::string& where) {
    std::vector<std::string> formatted;
    for (const auto& [name, bytes] : cut.oldBytes()) {
        const std::string now = readFile(cut.work() + "/" + name);
        if (now == fresh.at(name) && now != bytes) formatted.push_back(name);
        EXPECT_TRUE(now == bytes || now == fresh.at(name))
            << where << name << " is neither its old nor its new text (" << now.size() << " bytes)";
    }
    struct stat a {
    }, b{};
    ::stat((cut.work() + "/" + kLinked).c_str(), &a);
    ::stat((cut.work() + "/" + kHardLink).c_str(), &b);
    EXPECT_EQ(a.st_ino, b.st_ino) << where << "the hard links were split";
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(cut.work())) {
        const std::string rel = fs::relative(e.path(), cut.work()).string();
        EXPECT_TRUE(e.is_directory() || cut.oldBytes().count(rel) || isTemporary(rel))
            << where << "stray entry " << rel;
    }
    // The original of every file with new bytes is in a backup slot (a file
    // with two names under either of them).
    for (const std::string& name : formatted) {
        bool kept = false;
        for (int slot = 1; slot <= 5; ++slot)
            for (const std::string& copy : {name, name == kLinked     ? std::string(kHardLink)
                                                  : name == kHardLink ? std::string(kLinked)
                                                                      : name})
                kept = kept || readFile(cut.backup() + "/备份" + std::to_string(slot) + "/" + copy) ==
                                   cut.oldBytes().at(name);
        EXPECT_TRUE(kept) << where << name << " holds its new text and no backup slot holds its old one";
    }
    return formatted;
}

struct Layout {
    const char* name;
    std::vector<std::string> options;
    int extraFiles = 0;
    long cutPoints = 60;  ///< cut points before they are spread out
};

void PrintTo(const Layout& layout, std::ostream* out) { *out << layout.name; }

class PowerCutTest : public ::testing::TestWithParam<Layout> {};

TEST_P(PowerCutTest, EveryCutLeavesOldOrNewBytesAndAnUndo) {
    if (testing::runsAsNobody() && !testing::canRun(CODEKILN_CLI))
        GTEST_SKIP() << "nobody cannot run the program";
    if (GetParam().options.size() > 1 && GetParam().options[0] == "-j" &&
        testing::runProgram(CODEKILN_CLI, {"--help"}, "/nonexistent", 60).out.find(" -j") ==
            std::string::npos)
        GTEST_SKIP() << "no -j option yet";
    PowerCut cut(GetParam().options, GetParam().extraFiles);

    // A run without a cut: the new bytes, and how many changes it makes.
    cut.reset();
    const ProgramRun clean = cut.runCut(0);
    ASSERT_EQ(clean.exitCode, 0) << clean.out << clean.err;
    std::map<std::string, std::string> fresh;
    for (const auto& entry : cut.oldBytes()) fresh[entry.first] = readFile(cut.work() + "/" + entry.first);
    ASSERT_NE(fresh.at("select_case.f90"), cut.oldBytes().at("select_case.f90")) << "nothing to format";
    ASSERT_EQ(fresh.at("done.f90"), cut.oldBytes().at("done.f90"));
    const long changes = cut.changes();
    ASSERT_GT(changes, 10);

    // Every change up to 60 (or the layout's number) a cut point, then
    // evenly spread; the last point is a cut after the run ended.
    const long most = GetParam().cutPoints;
    const long step = changes <= most ? 1 : (changes + most - 1) / most;
    std::vector<long> points;
    for (long at = 1; at < changes; at += step) points.push_back(at);
    points.push_back(changes);
    points.push_back(changes + 1);
    // A file with one name is backed up as a second name of itself until
    // it is replaced: some cut must find it so.
    bool linkedBackupSeen = false;
    for (const long at : points) {
        const std::string where =
            "cut before change " + std::to_string(at) + " of " + std::to_string(changes) + ": ";
        cut.reset();
        const ProgramRun r = cut.runCut(at);
        if (at <= changes) {
            ASSERT_EQ(r.exitCode, -1) << where << "the run was not cut\n" << r.out << r.err;
            ASSERT_FALSE(r.timedOut) << where;
        }
        ASSERT_EQ(cut.rollBack(), "") << where;
        const std::vector<std::string> formatted = checkCut(cut, fresh, where);
        if (::testing::Test::HasFailure()) return;
        linkedBackupSeen |= sharesInode(cut.work() + "/select_case.f90", cut.backup() + "/备份1/select_case.f90");

        if (!formatted.empty()) {
            const bool manifest = fs::exists(cut.backup() + "/备份1/.codekiln-run.json");
            const ProgramRun undo =
                manifest ? cut.run({"--restore", "--backup-dir", cut.backup()})
                         : cut.run({"--restore", "1", cut.work(), "--force", "--backup-dir", cut.backup()});
            EXPECT_EQ(undo.exitCode, 0) << where << undo.out << undo.err;
            for (const auto& [name, bytes] : cut.oldBytes())
                EXPECT_EQ(readFile(cut.work() + "/" + name), bytes)
                    << where << "the undo did not restore " << name;
        }

        // A later run over what the cut left (at every third point, for time).
        if (at % 3 != 0 && at < changes) continue;
        const ProgramRun later = cut.run({"-r", "--backup-dir", cut.backup(), cut.work()});
        EXPECT_EQ(later.exitCode, 0) << where << later.out << later.err;
        EXPECT_EQ(later.out.find(".codekiln-"), std::string::npos) << where << later.out;
        for (const auto& [name, bytes] : fresh)
            EXPECT_EQ(readFile(cut.work() + "/" + name), bytes) << where << "the later run left " << name;
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(cut.work()))
            EXPECT_FALSE(isTemporary(e.path().string())) << where << "left behind: " << e.path();
        if (::testing::Test::HasFailure()) return;
    }
    EXPECT_TRUE(linkedBackupSeen) << "no cut found a backup made as a hard link";
}

// Power cuts during the undo of a whole run, which puts files back a batch
// at a time: every file is then its old or its new text, and a second undo
// finishes the first.
TEST(PowerCutRestore, EveryCutLeavesOldOrNewBytesAndASecondUndoFinishes) {
    if (testing::runsAsNobody() && !testing::canRun(CODEKILN_CLI))
        GTEST_SKIP() << "nobody cannot run the program";
    PowerCut cut({}, 70);  // more files than one batch
    const auto undo = [&](long cutAt) { return cut.run({"--restore", "--backup-dir", cut.backup()}, cutAt); };
    const auto runWhole = [&] {
        cut.reset();
        const ProgramRun r = cut.runCut(0);
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        cut.settle();
    };
    runWhole();
    std::map<std::string, std::string> fresh;
    for (const auto& entry : cut.oldBytes()) fresh[entry.first] = readFile(cut.work() + "/" + entry.first);
    ASSERT_EQ(undo(0).exitCode, 0);
    const long changes = cut.changes();
    ASSERT_GT(changes, 70);
    const long step = (changes + 15) / 16;
    for (long at = 1; at <= changes; at += step) {
        const std::string where =
            "undo cut before change " + std::to_string(at) + " of " + std::to_string(changes) + ": ";
        runWhole();
        ASSERT_EQ(undo(at).exitCode, -1) << where << "the undo was not cut";
        ASSERT_EQ(cut.rollBack(), "") << where;
        checkCut(cut, fresh, where);
        const ProgramRun again = undo(0);
        EXPECT_EQ(again.exitCode, 0) << where << again.out << again.err;
        for (const auto& [name, bytes] : cut.oldBytes())
            EXPECT_EQ(readFile(cut.work() + "/" + name), bytes)
                << where << "the second undo did not restore " << name;
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(cut.work()))
            EXPECT_FALSE(isTemporary(e.path().string())) << where << "left behind: " << e.path();
        if (::testing::Test::HasFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, PowerCutTest,
                         ::testing::Values(Layout{"classic", {}}, Layout{"modern", {"--style", "modern"}},
                                           Layout{"classic_two_jobs", {"-j", "2"}},
                                           Layout{"classic_batches", {"-j", "2"}, 66, 12}),
                         [](const ::testing::TestParamInfo<Layout>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace codekiln
