// codekiln-cli over whole projects, run as a program on real temporary
// trees: PATHs and recursion, --until-stable, --diff and the settings file.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <QFile>
#include <filesystem>

#include "engine/format/format_file.h"
#include "platform/file_system.h"
#include "run_program.h"
#include "support/temp_folder.h"

namespace codekiln {
namespace {

using testing::forgetStoredSlot;
using testing::Result;
using testing::runProgram;
using testing::TempFolder;

const std::string kSource = "program p\r\nif (x > 1) then\r\ny = 2\r\nend if\r\nend program p\r\n";
// Runs of blanks that one pass only shortens: 64 blanks become 16, then 4, then 1.
const std::string kBlankRuns = "program p\r\nx =" + std::string(64, ' ') + "1\r\nend program p\r\n";

// `relative` ("/" between its names) under `folder`, as a run joins them.
std::string under(const std::string& folder, std::string relative) {
    for (char& c : relative)
        if (c == '/') c = kPathSeparator;
    return folder + kPathSeparator + relative + "\n";
}

std::string names(const std::string& summary) {
    const std::size_t from = summary.find("分别为") + std::string("分别为").size();
    return summary.substr(from, summary.find("，本次") - from);
}

TEST(ProjectRun, RecursionOrderSkippingExcludesAndMirroredBackups) {
    forgetStoredSlot();
    TempFolder home;
    for (const char* name :
         {"src/b.f90", "src/A.f90", "src/x.txt", "src/sub/a.f90", "src/.hidden/h.f90", "src/gen/g.f90",
          "src/sub/c_skip.f90", "src/bk/备份1/old.f90", "src/other/备份1/k.f90"})
        home.write(name, kSource);
    home.write("src/sub2/a.f90", "x = 1\r\n");  // the same name as sub/a.f90, other content
    // A link back up the tree: a loop unless links are left out. Windows
    // makes links only with a privilege (Wine not at all); there the tree
    // has none.
    std::error_code linked;
    std::filesystem::create_directory_symlink(std::filesystem::u8path(home.path("src")),
                                              std::filesystem::u8path(home.path("src/sub/loop")), linked);
#ifndef _WIN32
    ASSERT_FALSE(linked) << linked.message();
#endif

    const Result r = runProgram(home, {"-r", "--exclude", "gen", "--exclude", "*_skip.f90", "--backup-dir",
                                       home.path("src/bk"), home.path("src")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // Files before subfolders, names ignoring case; the backup folders of the
    // root in use, hidden, linked and excluded folders left out.
    EXPECT_EQ(names(r.out), ",A.f90,b.f90,other/备份1/k.f90,sub/a.f90,sub2/a.f90") << r.out;
    EXPECT_EQ(home.read("src/bk/备份1/sub/a.f90"), kSource);
    EXPECT_EQ(home.read("src/bk/备份1/sub2/a.f90"), "x = 1\r\n");
    EXPECT_EQ(home.read("src/bk/备份1/old.f90"), kSource);
    for (const char* untouched : {"src/.hidden/h.f90", "src/gen/g.f90", "src/sub/c_skip.f90"})
        EXPECT_EQ(home.read(untouched), kSource) << untouched;
    EXPECT_NE(home.read("src/other/备份1/k.f90"), kSource);

    // A flat run keeps the flat layout; a file named twice is formatted once.
    const Result flat = runProgram(home, {"--backup-dir", home.path("bk2"), home.path("src/sub"),
                                          home.path("src/sub/a.f90"), home.path("src/x.txt")});
    EXPECT_EQ(flat.exitCode, 0) << flat.err;
    EXPECT_NE(flat.out.find("文件3个"), std::string::npos) << flat.out;
    const Result one = runProgram(home, {"--backup-dir", home.path("bk3"), home.path("src/sub")});
    EXPECT_TRUE(home.exists("bk3/备份3/a.f90")) << one.out;
}

TEST(ProjectRun, WindowsSpellingsOfOnePathAreOnePath) {
#ifndef _WIN32
    GTEST_SKIP() << "names differing in letter case are different files here";
#else
    TempFolder home;
    home.write("src/a.f90", kSource);
    home.write("src/sub/b.f90", kSource);
    home.write("src/bk/备份1/a.f90", kSource);
    const std::string src = home.path("src");
    const std::string nativeSrc = QDir::toNativeSeparators(QString::fromStdString(src)).toStdString();
    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"-r", "--backup-dir", src + "\\BK", "--exclude", "sub", src}, under(src, "a.f90")},
        {{src + "/a.f90", src + "\\A.F90"}, src + "/a.f90\n"},
        {{"-r", "--exclude", "SUB\\*.f90", "--exclude", "bk", src}, under(src, "a.f90")},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "--check");
        const Result r = runProgram(home, args);
        EXPECT_EQ(r.out, c.out) << c.args[0] << " " << c.args[1] << r.err;
    }
    // A bare drive is its current folder, not its top.
    const std::string drive = src.substr(0, 2);
    const Result r = runProgram(home, {"--check", "-r", "--exclude", "bk", drive}, {}, false, src);
    EXPECT_EQ(r.out, under(nativeSrc, "a.f90") + under(nativeSrc, "sub/b.f90")) << r.err;
#endif
}

TEST(ProjectRun, UntilStableLeavesNothingForCheck) {
    for (const bool untilStable : {false, true}) {
        forgetStoredSlot();
        TempFolder home;
        home.write("src/a.f90", kBlankRuns);
        home.write("src/b.f90", kSource);
        std::vector<std::string> args = {"--backup-dir", home.path("bk"), home.path("src")};
        if (untilStable) args.insert(args.begin(), "--until-stable");
        const Result run = runProgram(home, args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(home.read("bk/备份1/a.f90"), kBlankRuns);  // the original, backed up once
        const Result check = runProgram(home, {"--check", home.path("src")});
        EXPECT_EQ(check.exitCode, untilStable ? 0 : 1) << check.out;
        if (untilStable) {
            EXPECT_NE(home.read("src/a.f90").find("x = 1\r\n"), std::string::npos);
            const Result printed =
                runProgram(home, {"--stdout", home.path("bk/备份1/a.f90"), "--until-stable"});
            EXPECT_EQ(printed.out, home.read("src/a.f90"));
        }
    }
}

TEST(ProjectRun, DiffShowsWhatWouldChangeAndWritesNothing) {
    TempFolder home;
    home.write("a.f90", kSource);
    const Result changed = runProgram(home, {"--diff", home.path("a.f90")});
    EXPECT_EQ(changed.exitCode, 1) << changed.err;
    EXPECT_EQ(
        changed.out.rfind("--- " + home.path("a.f90") + "\n+++ " + home.path("a.f90") + "\n@@ -1,5 +1,", 0),
        0u)
        << changed.out;
    EXPECT_EQ(changed.out.find('\x1b'), std::string::npos);
    EXPECT_NE(runProgram(home, {"--diff", "--color", "always", home.path("a.f90")}).out.find("\x1b[32m+"),
              std::string::npos);
    EXPECT_EQ(home.read("a.f90"), kSource);

    DoLabelRecord fresh;
    home.write("a.f90", formatText(kSource, {}, fresh).text);
    const Result same = runProgram(home, {"--diff", home.path("a.f90")});
    EXPECT_EQ(same.exitCode, 0) << same.err;
    EXPECT_EQ(same.out, "");
    EXPECT_EQ(runProgram(home, {"--diff", "--color", "sometimes", home.path("a.f90")}).exitCode, 2);
}

TEST(ProjectRun, SettingsFileFromAParentOverriddenOrIgnored) {
    TempFolder home;
    home.write("proj/.git/HEAD", "");
    home.write("proj/.codekiln.toml", "# project\nrecursive = true\nexclude = [\"gen\"]\n");
    home.write("proj/src/a.f90", kSource);
    home.write("proj/src/sub/b.f90", kSource);
    home.write("proj/src/gen/c.f90", kSource);
    const std::string src = home.path("proj/src");
    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"--check", src}, under(src, "a.f90") + under(src, "sub/b.f90")},
        {{"--check", "--no-recursive", src}, under(src, "a.f90")},
        {{"--check", "--no-config", src}, under(src, "a.f90")},
        {{"--check", "--exclude", "sub", src}, under(src, "a.f90") + under(src, "gen/c.f90")},
    };
    for (const auto& c : cases) {
        const Result r = runProgram(home, c.args);
        EXPECT_EQ(r.out, c.out) << c.args[1] << r.err;
    }
}

TEST(ProjectRun, BadSettingsNameFileLineAndKey) {
    const struct {
        std::string toml;
        std::string message;  // after "<file>:"
    } cases[] = {
        {"recursive = true\nrecursive =\n", "2: "},
        {"\n\nrecurse = true\n", "3: unknown key \"recurse\""},
        {"recursive = \"yes\"\n", "1: key \"recursive\": expected true or false"},
        {"encoding = \"ebcdic\"\n", "1: key \"encoding\": expected auto"},
        {"exclude = [\"a\", 1]\n", "1: key \"exclude\": expected a list of strings"},
        {"style = \"fancy\"\n", "1: key \"style\": expected classic or modern"},
        {"indent = 9\n", "1: key \"indent\": expected a whole number from 1 to 8"},
        {"indent = \"3\"\n", "1: key \"indent\": expected a whole number"},
        {"bogus = 1\n", "1: unknown key \"bogus\" (known: extension, remove-blank-lines, indent-else, "
                        "separators, form, style, indent, encoding"},
    };
    for (const auto& c : cases) {
        TempFolder home;
        home.write("p/.codekiln.toml", c.toml);
        home.write("p/a.f90", kSource);
        // The key is checked even when the command line sets it.
        const Result r = runProgram(home, {"-r", "--backup-dir", home.path("bk"), home.path("p")});
        EXPECT_EQ(r.exitCode, 2) << c.toml;
        EXPECT_NE(r.err.find(home.path("p/.codekiln.toml") + ":" + c.message), std::string::npos) << r.err;
        EXPECT_EQ(home.read("p/a.f90"), kSource);
    }
    // The search stops at the top of a repository.
    TempFolder home;
    home.write(".codekiln.toml", "bogus = 1\n");
    home.write("repo/.git/HEAD", "");
    home.write("repo/a.f90", kSource);
    EXPECT_EQ(runProgram(home, {"--check", home.path("repo")}).exitCode, 1);
}

// A settings file that is no readable file stops the run; a FIFO must not hang it.
TEST(ProjectRun, SettingsFileThatIsNotARegularFileStopsTheRun) {
#ifdef _WIN32
    GTEST_SKIP() << "symlinks and FIFOs are POSIX";
#else
    const struct {
        const char* name;
        void (*make)(const std::string& path);
    } cases[] = {
        {"dangling symlink", [](const std::string& p) { std::filesystem::create_symlink("missing.toml", p); }},
        {"FIFO", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }},
        {"folder", [](const std::string& p) { std::filesystem::create_directory(p); }},
        {"symlink to /dev/zero", [](const std::string& p) { std::filesystem::create_symlink("/dev/zero", p); }},
    };
    for (const auto& c : cases) {
        TempFolder home;
        home.write("p/a.f90", kSource);
        c.make(home.path("p/.codekiln.toml"));
        const Result r = runProgram(home, {"--backup-dir", home.path("bk"), home.path("p")});
        EXPECT_EQ(r.exitCode, 2) << c.name;
        EXPECT_NE(r.err.find(home.path("p/.codekiln.toml")), std::string::npos) << c.name << ": " << r.err;
        EXPECT_EQ(home.read("p/a.f90"), kSource) << c.name;
    }
#endif
}

TEST(ProjectRun, UnreadableFolderDeepInATreeIsReportedAndTheRestFormatted) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no mode bits to make a folder unreadable for its owner";
#else
    TempFolder home;
    home.write("src/a.f90", kSource);
    home.write("src/locked/b.f90", kSource);
    const bool root = geteuid() == 0;
    if (root) {  // run as nobody, whom the permissions stop
        for (const char* path : {"", "src", "src/a.f90", "src/locked", "src/locked/b.f90"})
            ASSERT_EQ(chown(home.path(path).c_str(), testing::kNobody, testing::kNobody), 0);
    }
    home.setPermissions("src/locked", {});
    const Result r = runProgram(home, {"-r", "--backup-dir", home.path("bk"), home.path("src")}, {}, root);
    home.setPermissions("src/locked", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("locked"), std::string::npos) << r.err;
    EXPECT_EQ(home.read("src/locked/b.f90"), kSource);
    EXPECT_NE(home.read("src/a.f90"), kSource);
#endif
}

}  // namespace
}  // namespace codekiln
