// codekiln-cli as real processes: two runs on one backup root at the same
// time, a run whose summary cannot be written, and names that are not UTF-8.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
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

// What a run leaves, with the scratch folder's own path and the manifest's
// times taken out: the output, the exit code, the folder and the backups.
std::string runPrint(const ScratchTree& tree, const testing::ProgramRun& run) {
    std::string print = std::to_string(run.exitCode) + "\n" + run.out + "\n" + run.err + "\n";
    for (const std::string folder : {"in", "backup"}) {
        for (const auto& [name, entry] : tree.snapshot(folder)) {
            std::string bytes = entry.bytes;
            for (const char* time : {"\"started\": \"", "\"ended\": \""}) {
                const std::size_t at = bytes.find(time);
                if (at != std::string::npos) bytes.erase(at, bytes.find('"', at + std::strlen(time)) - at);
            }
            print += folder + "/" + name + " " + entry.kind + " " + std::to_string(entry.mode) + "\n" + bytes + "\n";
        }
    }
    for (std::size_t at; (at = print.find(tree.root())) != std::string::npos;) print.replace(at, tree.root().size(), "ROOT");
    return print;
}

// Several jobs give what one job gives, byte for byte, in every mode: the
// labelled-DO loop an include file leaves open (separators off) reaches the
// files after it, and a file unreadable, undecodable, in a backup folder,
// hard-linked or reached twice ends as it does in order.
const char* const kCloses = "do 30 k = 1, 2\nz = 1\n20 continue\nw = 2\n30 continue\n";

void build(const ScratchTree& tree) {
    for (int k = 0; k < 24; ++k) {
        const std::string name = "in/f" + std::string(k < 10 ? "0" : "") + std::to_string(k);
        if (k % 6 == 2) {
            tree.write(name + ".f90", "do 20 j = 1, 3\ny = j\n");  // leaves label 20 open
        } else if (k % 6 == 3) {
            tree.write(name + ".f90", kCloses);  // closes it
        } else {
            tree.write(name + ".f90", program(k));
        }
    }
    tree.write("in/g1.f90", "x = 1\n\xFF\xFE\n");  // not UTF-8
    tree.write("in/g2.f90", program(40), 0);       // unreadable
    tree.write("backup/备份1/old.f90", program(41));
    tree.symlink("in/g3.f90", "../backup/备份1/old.f90");  // into a backup folder
    tree.symlink("in/g4.f90", "f00.f90");                  // a second name
    EXPECT_EQ(::link(tree.path("in/f01.f90").c_str(), tree.path("in/h1.f90").c_str()), 0);
    tree.write("in/f25.f90", program(1));  // the same text as f01
    tree.makeFolder("home");
    if (testing::runsAsNobody()) tree.chownAll(testing::nobodyUid(), testing::nobodyGid());
}

TEST(ConcurrentRuns, SeveralJobsGiveWhatOneJobGives) {
    if (!testing::canRun(CODEKILN_CLI)) GTEST_SKIP() << "user nobody cannot run " << CODEKILN_CLI;
    const std::vector<std::vector<std::string>> modes = {{}, {"--json"}, {"--check"}, {"--diff", "--color=never"}};
    for (const std::vector<std::string>& mode : modes) {
        std::vector<std::string> prints;
        for (const char* jobs : {"1", "3"}) {
            ScratchTree tree;
            build(tree);
            std::vector<std::string> arguments = {"--backup-dir", tree.path("backup"), "--no-separators",
                                                  "--encoding",   "utf-8",             "-j",
                                                  jobs};
            arguments.insert(arguments.end(), mode.begin(), mode.end());
            arguments.push_back(tree.path("in"));
            prints.push_back(runPrint(tree, testing::runProgram(CODEKILN_CLI, arguments, tree.path("home"))));
        }
        SCOPED_TRACE(mode.empty() ? "batch" : mode.front());
        EXPECT_EQ(prints[0], prints[1]);
        EXPECT_NE(prints[0].find("g2.f90"), std::string::npos) << prints[0];  // the failures are there
    }
    // The open loop did reach the next file: it is not formatted as it would be alone.
    ScratchTree tree;
    build(tree);
    ASSERT_EQ(testing::runProgram(CODEKILN_CLI, {"--backup-dir", tree.path("backup"), "--no-separators", "-j", "3",
                                                 tree.path("in/f02.f90"), tree.path("in/f03.f90")},
                                  tree.path("home"))
                  .exitCode,
              0);
    FormatOptions noSeparators;
    noSeparators.showSeparators = false;
    DoLabelRecord fresh;
    EXPECT_NE(tree.read("in/f03.f90"), formatText(kCloses, noSeparators, fresh).text);
}

// A restore with several jobs gives what one job gives, in every mode: also
// where putting one file back changes what a later one holds (f25, made a
// second name of f01 since the run, holds f01's original once f01 is back).
TEST(ConcurrentRuns, SeveralJobsRestoreWhatOneJobRestores) {
    if (!testing::canRun(CODEKILN_CLI)) GTEST_SKIP() << "user nobody cannot run " << CODEKILN_CLI;
    const std::vector<std::vector<std::string>> modes = {
        {}, {"--force"}, {"--force", "--dry-run"}, {"--force", "unfinished"}};
    for (const std::vector<std::string>& mode : modes) {
        std::vector<std::string> prints;
        for (const char* jobs : {"1", "3"}) {
            ScratchTree tree;
            build(tree);
            std::vector<std::string> arguments = {"--backup-dir", tree.path("backup"), "-j", "1", tree.path("in")};
            testing::runProgram(CODEKILN_CLI, arguments, tree.path("home"));
            tree.write("in/f05.f90", "edited\n");
            tree.remove("in/f07.f90");
            tree.remove("in/f25.f90");
            EXPECT_EQ(::link(tree.path("in/f01.f90").c_str(), tree.path("in/f25.f90").c_str()), 0);
            arguments = {"--restore", "--backup-dir", tree.path("backup"), "-j", jobs};
            for (const std::string& option : mode) {
                if (option != "unfinished") {
                    arguments.push_back(option);
                    continue;
                }
                // A run killed before its end: a manifest with no end time.
                const std::string manifest = "backup/备份1/.codekiln-run.json";
                std::string bytes = tree.read(manifest);
                const std::size_t at = bytes.find("\"ended\"");
                ASSERT_NE(at, std::string::npos);
                tree.write(manifest, bytes.erase(at, bytes.find('\n', at) + 1 - at));
            }
            testing::ProgramRun restore = testing::runProgram(CODEKILN_CLI, arguments, tree.path("home"));
            const std::size_t at = restore.out.find("the run of ");  // the run's start, to the second
            if (at != std::string::npos) restore.out.erase(at, std::strlen("the run of 2026-01-01 00:00:00"));
            prints.push_back(runPrint(tree, restore));
        }
        SCOPED_TRACE(mode.empty() ? "plain" : mode.back());
        EXPECT_EQ(prints[0], prints[1]);
        EXPECT_NE(prints[0].find("f05.f90"), std::string::npos) << prints[0];
    }
}

}  // namespace
}  // namespace codekiln
