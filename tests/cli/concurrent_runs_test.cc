// codekiln-cli as real processes: two runs on one backup root at the same
// time, a run whose summary cannot be written, and names that are not UTF-8.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/format/format_file.h"
#include "support/scratch_tree.h"

namespace codekiln {
namespace {

using testing::ScratchTree;

std::string program(int k) {
    return "program p" + std::to_string(k) + "\ndo 10 i = 1, 2\nx = i\n10 continue\nend program p" +
           std::to_string(k) + "\n";
}

std::string formatted(const std::string& text) {
    DoLabelRecord fresh;
    return formatText(text, FormatOptions{}, fresh).text;
}

/// The slot number a summary names ("…在备份N文件夹中").
std::string slotOf(const std::string& out) {
    const std::string head = "本次运行备份文件在备份";
    const std::size_t at = out.find(head);
    return at == std::string::npos ? "" : out.substr(at + head.size(), 1);
}

// Two folders of the same file names share one backup root: the runs take
// turns, each backs up into its own slot, and every original survives.
TEST(ConcurrentRuns, TakeTurnsOnOneBackupRoot) {
    if (!testing::canRun(CODEKILN_CLI)) GTEST_SKIP() << "user nobody cannot run " << CODEKILN_CLI;
    ScratchTree tree;
    const int files = 60;
    for (const std::string folder : {"one", "two"}) {
        for (int k = 0; k < files; ++k)
            tree.write(folder + "/f" + std::to_string(k) + ".f90", program(k) + "! " + folder + "\n");
    }
    tree.makeFolder("home");
    tree.makeFolder("backup");
    if (testing::runsAsNobody()) tree.chownAll(testing::nobodyUid(), testing::nobodyGid());
    testing::ProgramRun runs[2];
    std::thread first([&] {
        runs[0] = testing::runProgram(CODEKILN_CLI, {"--backup-dir", tree.path("backup"), tree.path("one")},
                                      tree.path("home"));
    });
    runs[1] = testing::runProgram(CODEKILN_CLI, {"--backup-dir", tree.path("backup"), tree.path("two")},
                                  tree.path("home"));
    first.join();

    std::set<std::string> slots;
    const char* folders[] = {"one", "two"};
    for (int r = 0; r < 2; ++r) {
        SCOPED_TRACE(folders[r]);
        if (runs[r].exitCode == 1 && runs[r].err.find("本次未处理任何文件") != std::string::npos) {
            // It found the root held too long: it stopped before touching a file.
            EXPECT_EQ(tree.read(std::string(folders[r]) + "/f0.f90"), program(0) + "! " + folders[r] + "\n");
            continue;
        }
        ASSERT_EQ(runs[r].exitCode, 0) << runs[r].err;
        const std::string slot = slotOf(runs[r].out);
        slots.insert(slot);
        for (int k = 0; k < files; ++k) {
            const std::string name = "/f" + std::to_string(k) + ".f90";
            const std::string original = program(k) + "! " + folders[r] + "\n";
            EXPECT_EQ(tree.read("backup/备份" + slot + name), original) << name;
            EXPECT_EQ(tree.read(folders[r] + name), formatted(original)) << name;
        }
    }
    EXPECT_EQ(slots.size(), static_cast<std::size_t>(runs[0].exitCode == 0) + (runs[1].exitCode == 0));
}

TEST(ConcurrentRuns, EndsWithExitOneWhenItCannotSayWhatItDid) {
    if (!testing::canRun(CODEKILN_CLI)) GTEST_SKIP() << "user nobody cannot run " << CODEKILN_CLI;
    ScratchTree tree;
    tree.write("in/a.f90", program(1));
    tree.makeFolder("home");
    if (testing::runsAsNobody()) tree.chownAll(testing::nobodyUid(), testing::nobodyGid());
    const testing::ProgramRun run =
        testing::runProgram("/bin/sh",
                            {"-c", "exec \"$0\" \"$@\" > /dev/full", CODEKILN_CLI, "--backup-dir",
                             tree.path("backup"), tree.path("in")},
                            tree.path("home"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("cannot write the summary"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("备份1"), std::string::npos) << run.err;
    EXPECT_EQ(tree.read("backup/备份1/a.f90"), program(1));
}

// Output nobody could read is a failure in every mode that prints.
TEST(ConcurrentRuns, OutputToAFullDeviceFailsInEveryMode) {
    if (!testing::canRun(CODEKILN_CLI)) GTEST_SKIP() << "user nobody cannot run " << CODEKILN_CLI;
    ScratchTree tree;
    tree.write("in/a.f90", program(1));
    tree.makeFolder("home");
    if (testing::runsAsNobody()) tree.chownAll(testing::nobodyUid(), testing::nobodyGid());
    const auto toFull = [&](std::vector<std::string> arguments) {
        std::vector<std::string> all = {"-c", "exec \"$0\" \"$@\" > /dev/full", CODEKILN_CLI};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return testing::runProgram("/bin/sh", all, tree.path("home"));
    };
    ASSERT_EQ(testing::runProgram(CODEKILN_CLI, {"--backup-dir", tree.path("backup"), tree.path("in")},
                                  tree.path("home"))
                  .exitCode,
              0);
    const std::vector<std::vector<std::string>> modes = {
        {"--help"},
        {"--version"},
        {"--json", "--backup-dir", tree.path("backup"), tree.path("in")},
        {"--list-backups", "--backup-dir", tree.path("backup")},
        {"--restore", "1", "--dry-run", "--backup-dir", tree.path("backup"), tree.path("in")},
        {"--restore", "1", "--backup-dir", tree.path("backup"), tree.path("in")},
    };
    for (const auto& mode : modes) {
        const testing::ProgramRun run = toFull(mode);
        EXPECT_EQ(run.exitCode, 1) << mode.front();
        EXPECT_NE(run.err.find("standard output: cannot write"), std::string::npos) << mode.front() << run.err;
    }
    EXPECT_EQ(tree.read("in/a.f90"), program(1));  // the restore itself was done
}

// Qt would read a name that is not UTF-8 as another name: such an argument is
// refused; such a file in a folder is checked under its own name.
TEST(ConcurrentRuns, NamesThatAreNotUtf8AreNeverTakenForOthers) {
    if (!testing::canRun(CODEKILN_CLI)) GTEST_SKIP() << "user nobody cannot run " << CODEKILN_CLI;
    ScratchTree tree;
    tree.write("in/a\xFF.f90", program(1));
    tree.write("in/a\xEF\xBF\xBD.f90", formatted(program(2)));  // U+FFFD: already formatted
    tree.makeFolder("home");
    if (testing::runsAsNobody()) tree.chownAll(testing::nobodyUid(), testing::nobodyGid());
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        std::string out;
    } rows[] = {
        {{"--stdout", tree.path("in/a\xFF.f90")}, 2, ""},
        {{"--check", tree.path("in/a\xFF.f90")}, 2, ""},
        {{"--backup-dir", tree.path("b\xFF"), tree.path("in")}, 2, ""},
        {{"--check", tree.path("in")}, 1, tree.path("in/a\\xFF.f90") + "\n"},
    };
    for (const auto& row : rows) {
        const testing::ProgramRun run = testing::runProgram(CODEKILN_CLI, row.arguments, tree.path("home"));
        EXPECT_EQ(run.exitCode, row.exitCode) << row.arguments.back() << run.err;
        EXPECT_EQ(run.out, row.out) << row.arguments.back();
    }
    EXPECT_EQ(tree.read("in/a\xFF.f90"), program(1));
}

// A run over such names is undone under the same names: listed as clean
// right after the run, a deleted one made again, a changed one kept under
// its own name, and the messages escaped.
TEST(ConcurrentRuns, NamesThatAreNotUtf8AreRestoredUnderTheirOwnNames) {
    if (!testing::canRun(CODEKILN_CLI)) GTEST_SKIP() << "user nobody cannot run " << CODEKILN_CLI;
    ScratchTree tree;
    const std::string bad = "a\xFF.f90", replacement = "a\xEF\xBF\xBD.f90";  // U+FFFD
    tree.write("in/" + bad, program(1));
    tree.write("in/" + replacement, program(2));
    tree.makeFolder("home");
    if (testing::runsAsNobody()) tree.chownAll(testing::nobodyUid(), testing::nobodyGid());
    const auto run = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--backup-dir", tree.path("backup")});
        return testing::runProgram(CODEKILN_CLI, arguments, tree.path("home"));
    };
    ASSERT_EQ(run({tree.path("in")}).exitCode, 0);
    const testing::ProgramRun listed = run({"--list-backups"});
    EXPECT_NE(listed.out.find("2 files  can be restored cleanly"), std::string::npos) << listed.out;

    tree.remove("in/" + bad);
    tree.write("in/" + replacement, "edited\n");
    const testing::ProgramRun undo = run({"--restore", "--force"});
    EXPECT_EQ(undo.exitCode, 0) << undo.out << undo.err;
    EXPECT_NE(undo.out.find("restored      a\\xFF.f90 (deleted since the run)\n"), std::string::npos) << undo.out;
    EXPECT_EQ(tree.read("in/" + bad), program(1));
    EXPECT_EQ(tree.read("in/" + replacement), program(2));
    EXPECT_EQ(tree.read("backup/备份1/" + replacement + ".before-restore"), "edited\n");
    EXPECT_EQ(tree.snapshot("in").size(), 2u);
}

}  // namespace
}  // namespace codekiln
