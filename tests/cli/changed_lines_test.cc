// codekiln-cli --changed: a run in place that re-indents only the lines git
// sees changed, in real temporary repositories.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include "cli/git_changes.h"
#include "run_program.h"
#include "support/temp_folder.h"

namespace codekiln {
namespace {

using testing::Result;
using testing::runProgram;
using testing::TempFolder;

TEST(ChangedRanges, TakesTheNewSideOfEachHunk) {
    const std::string diff =
        "diff --git a/a.f90 b/a.f90\n--- a/a.f90\n+++ b/a.f90\n"
        "@@ -2 +2 @@ program p\n-x\n+y\n"
        "@@ -5,0 +6,2 @@\n+a\n+@@ -1 +1 @@ not a header\n"
        "@@ -9,2 +10,0 @@\n-b\n-c\n"
        "@@ -20,3 +19,3 @@\n";
    const std::vector<LineRange> ranges = changedRanges(diff);
    ASSERT_EQ(ranges.size(), 3u);
    const std::size_t expected[][2] = {{2, 2}, {6, 7}, {19, 21}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(ranges[i].first, expected[i][0]) << i;
        EXPECT_EQ(ranges[i].last, expected[i][1]) << i;
    }
}

#ifndef _WIN32  // git is not there under Wine

// A block whose inner lines all stand at column 1: formatting would move
// every one of them.
const std::string kLegacy = "program p\nif (x > 1) then\ny = 2\nz = 3\nw = 4\nend if\nend program p\n";

void git(const TempFolder& home, const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", QString::fromStdString(home.path()));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QString::fromStdString(home.path("repo")));
    process.start("git", QStringList{"-c", "user.name=t", "-c", "user.email=t@t"} + arguments);
    ASSERT_TRUE(process.waitForFinished(30000));
    ASSERT_EQ(process.exitCode(), 0) << arguments.join(' ').toStdString()
                                     << process.readAllStandardError().toStdString();
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

TEST(ChangedRun, ReindentsOnlyWhatGitSeesChanged) {
    const std::string z4 = replaced(kLegacy, "z = 3", "z = 4");
    const std::string z4Done = replaced(kLegacy, "z = 3\n", "        z = 4\r\n");
    const struct {
        const char* label;
        std::vector<std::string> edit;  // file, new text, then "stage" to git add it
        const char* revision;           // nullptr: --changed alone
        const char* file;
        std::string expected;
    } cases[] = {
        {"an unstaged hunk inside an untouched file", {"a.f90", z4}, nullptr, "a.f90", z4Done},
        {"a staged hunk", {"a.f90", z4, "stage"}, nullptr, "a.f90", z4Done},
        {"a file with no change", {"a.f90", z4}, nullptr, "c.f90", kLegacy},
        {"since an older revision", {}, "HEAD~1", "c.f90", replaced(kLegacy, "w = 4\n", "        w = 4\r\n")},
        {"a pure deletion changes no line", {"a.f90", replaced(kLegacy, "z = 3\n", "")}, nullptr, "a.f90",
         replaced(kLegacy, "z = 3\n", "")},
        {"a name with a wildcard is that file alone", {"b*.f90", z4}, "HEAD~1", "b*.f90", z4Done},
        {"an untracked file is formatted whole", {"new.f90", kLegacy}, nullptr, "new.f90", ""},
    };
    for (const auto& c : cases) {
        TempFolder home;
        home.write("repo/a.f90", kLegacy);
        home.write("repo/b*.f90", kLegacy);
        home.write("repo/bb.f90", kLegacy);
        home.write("repo/c.f90", replaced(kLegacy, "w = 4", "w = 5"));
        git(home, {"init", "-q"});
        git(home, {"add", "."});
        git(home, {"commit", "-qm", "one"});
        home.write("repo/c.f90", kLegacy);
        home.write("repo/bb.f90", replaced(kLegacy, "y = 2", "y = 9"));  // changed beside "b*.f90"
        git(home, {"commit", "-qam", "two"});
        if (!c.edit.empty()) home.write("repo/" + c.edit[0], c.edit[1]);
        if (c.edit.size() > 2) git(home, {"add", QString::fromStdString(c.edit[0])});
        std::vector<std::string> args = {"--backup-dir", home.path("bk"), "--no-separators", home.path("repo")};
        args.insert(args.begin(), c.revision ? std::string("--changed=") + c.revision : "--changed");
        const std::string before = home.read(std::string("repo/") + c.file);
        const Result r = runProgram(home, args);
        ASSERT_EQ(r.exitCode, 0) << c.label << r.err;
        const std::string after = home.read(std::string("repo/") + c.file);
        if (c.expected.empty()) {
            EXPECT_NE(after.find("****"), std::string::npos) << c.label << after;  // the header banner
        } else {
            EXPECT_EQ(after, c.expected) << c.label;
        }
        // Backed up and undone as any run.
        EXPECT_EQ(runProgram(home, {"--restore", "--backup-dir", home.path("bk")}).exitCode, 0) << c.label;
        EXPECT_EQ(home.read(std::string("repo/") + c.file), before) << c.label;
    }
}

TEST(ChangedRun, RefusedWithoutAWorkTreeOrACommit) {
    TempFolder home;
    home.write("plain/a.f90", kLegacy);
    home.write("repo/a.f90", kLegacy);
    git(home, {"init", "-q"});
    const std::vector<std::string> cases[] = {
        {"--changed", home.path("plain")},
        {"--changed", home.path("plain/a.f90")},
        {"--changed", home.path("repo")},  // no commit yet: HEAD names none
        {"--changed=-p", home.path("repo")},
        {"--changed=", home.path("repo")},
        {"--changed", "--check", home.path("repo")},
    };
    for (const auto& args : cases) {
        const Result r = runProgram(home, args);
        EXPECT_EQ(r.exitCode, 2) << args[0] << " " << args[1] << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_EQ(home.read("plain/a.f90"), kLegacy);
    EXPECT_EQ(home.read("repo/a.f90"), kLegacy);
    EXPECT_FALSE(home.exists("bk"));
}

#endif

}  // namespace
}  // namespace codekiln
