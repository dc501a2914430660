// codekiln-cli run as a program: its three modes, its messages and its exit
// codes, each run with its own home and settings folder.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

#include <algorithm>

#include "cli/cli_run.h"
#include "engine/format/format_file.h"
#include "platform/file_system.h"
#include "run_program.h"
#include "support/temp_folder.h"

namespace codekiln {
namespace {

using testing::kNobody;
using testing::Result;
using testing::runProgram;
using testing::TempFolder;

const std::string kSource = "program p\r\nif (x > 1) then\r\ny = 2\r\nend if\r\nend program p\r\n";

// The slot as the settings store holds it: the INI file under the fresh
// home on Linux, the registry key HKEY_CURRENT_USER\Software\codekiln\codekiln
// on Windows, which every run there shares and `clear` empties first.
std::string storedSlot(const TempFolder& home, bool clear = false) {
#ifdef _WIN32
    (void)home;
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "codekiln", "codekiln");
    if (clear) store.remove("chuli");
#else
    (void)clear;
    QSettings store(QString::fromStdString(home.path("config/codekiln/codekiln.conf")), QSettings::IniFormat);
#endif
    return store.value("chuli/benfencishu").toString().toStdString();
}

std::string formatted(const std::string& text, const FormatOptions& options = {}) {
    DoLabelRecord fresh;
    return formatText(text, options, fresh).text;
}

TEST(ExitCodeFor, MapsEveryResult) {
    const std::pair<CliResult, int> cases[] = {
        {CliResult::Success, 0},    {CliResult::FilesFailed, 1}, {CliResult::ChangesFound, 1},
        {CliResult::UsageError, 2}, {CliResult::Cancelled, 2},   {CliResult::MissingExtension, 2},
    };
    for (const auto& [result, code] : cases) EXPECT_EQ(exitCodeFor(result), code) << static_cast<int>(result);
}

TEST(Cli, RefusesBadUsageWithExitTwo) {
    TempFolder home;
    storedSlot(home, true);
    home.write("src/a.f90", kSource);
    const std::string src = home.path("src");
    const std::vector<std::string> cases[] = {
        {},
        {"--check", "--diff", src},
        {"--bogus", src},
        {"--encoding", "ebcdic", src},
        {home.path("missing")},
        {"--stdout", home.path("src/a.f90"), "--check", src},
        {"--check", home.path("missing")},
        {"--ext", ".for", src},  // the warning, with no terminal to ask on
        {"--ext", "  ", "--yes", src},
        {"--form", "FIXED", src},
        {"--force", src},
        {"--restore", "6"},
        {"--restore", "--check", src},
        {"--list-backups", src},
        {"--restore", "--backup-dir", home.path("bk")},  // no run recorded in that root yet
    };
    for (const auto& args : cases) {
        const Result r = runProgram(home, args);
        EXPECT_EQ(r.exitCode, 2) << (args.empty() ? "(none)" : args.front()) << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_EQ(home.read("src/a.f90"), kSource);
    EXPECT_FALSE(home.exists("config"));
    EXPECT_EQ(storedSlot(home), "");
}

TEST(Cli, ModernOptionsAreRefusedWhenTheyCannotApply) {
    TempFolder home;
    home.write("src/a.f90", kSource);
    const std::vector<std::string> cases[] = {
        {"--indent", "3", "--check", home.path("src")},  // classic always indents by 4
        {"--style", "modern", "--indent", "0", "--check", home.path("src")},
        {"--style", "modern", "--indent", "9", "--check", home.path("src")},
        {"--style", "modern", "--indent", "+4", "--check", home.path("src")},
        {"--style", "Modern", "--check", home.path("src")},
        {"--encoding", "latin-1", "--check", home.path("src")},  // classic banners are Chinese
    };
    for (const auto& args : cases) {
        const Result r = runProgram(home, args);
        EXPECT_EQ(r.exitCode, 2) << args[1] << args[3];
        EXPECT_FALSE(r.err.empty());
    }
}

TEST(Cli, ModernRunKeepsLineEndsAddsNoBannerAndChecksClean) {
    // Whatever the indentation, a modern run keeps every line's end and adds
    // no banner; a check right after it finds nothing to change.
    TempFolder home;
    storedSlot(home, true);  // the run goes to slot 1
    const std::string mixed = "program p\nif (x > 1) then\r\n  y = 2   \nend if\nend program p";
    home.write("src/a.f90", mixed);
    home.write("src/b.f", "      program q\n10    continue\n      end\n");
    home.write("src/.codekiln.toml", "style = \"modern\"\nindent = 2\n");
    const std::vector<std::string> run = {"--ext", ".f90", "--backup-dir", home.path("bk"), home.path("src")};
    const Result first = runProgram(home, run);
    EXPECT_EQ(first.exitCode, 0) << first.err;
    const std::string after = home.read("src/a.f90");
    EXPECT_EQ(after.find("****"), std::string::npos) << after;
    EXPECT_EQ(std::count(after.begin(), after.end(), '\r'), 1) << after;
    EXPECT_EQ(std::count(after.begin(), after.end(), '\n'), 4) << after;
    EXPECT_NE(after.back(), '\n');
    EXPECT_EQ(runProgram(home, {"--check", home.path("src")}).exitCode, 0);
    // The listing names the layout the run used; a manifest from before the
    // modern layout, without style and indent, still reads (as classic).
    const std::vector<std::string> list = {"--list-backups", "--backup-dir", home.path("bk")};
    EXPECT_NE(runProgram(home, list).out.find("  1 file  modern layout, indent 2  can be restored cleanly"),
              std::string::npos);
    QJsonObject manifest = QJsonDocument::fromJson(QByteArray::fromStdString(home.read("bk/备份1/.codekiln-run.json"))).object();
    QJsonObject options = manifest.value("options").toObject();
    options.remove("style");
    options.remove("indent");
    manifest.insert("options", options);
    home.write("bk/备份1/.codekiln-run.json", QJsonDocument(manifest).toJson().toStdString());
    EXPECT_NE(runProgram(home, list).out.find("  1 file  can be restored cleanly  (last run)"), std::string::npos);
    const Result fixed = runProgram(home, {"--stdout", home.path("src/b.f")});
    EXPECT_EQ(fixed.exitCode, 0) << fixed.err;
    // Fixed form by default for .f: the label stays in its field, the statement is indented.
    EXPECT_NE(fixed.out.find("\n10      continue\n"), std::string::npos) << fixed.out;
}

TEST(Cli, BatchRunFormatsTheFolderAndCarriesTheSlotOn) {
    TempFolder home;
    home.write("src/a.for", kSource);
    const std::vector<std::string> args = {"--ext",        ".FOR",          "--yes",    "--form", "free",
                                           "--backup-dir", home.path("bk"), home.path("src")};
    storedSlot(home, true);
    const Result first = runProgram(home, args);
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(first.out, "本次共处理代码5行，文件1个，分别为,a.for，本次运行备份文件在备份1文件夹中\n");
    EXPECT_EQ(home.read("src/a.for"), formatted(kSource));
    EXPECT_EQ(home.read("bk/备份1/a.for"), kSource);
    EXPECT_EQ(storedSlot(home), "1");
    const Result second = runProgram(home, args);  // the next start reads the stored slot
    EXPECT_NE(second.out.find("备份2文件夹中"), std::string::npos) << second.out;
}

TEST(Cli, FilesLeftUntouchedGiveExitOne) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no mode bits to make a file unreadable for its owner";
#else
    TempFolder home;
    home.write("src/a.f90", kSource);
    for (const char* name : {"src/b.f90", "src/c.f90"}) home.write(name, kSource);
    home.write("src/d.f90", "x = '\x81\x20'\r\n");
    home.setPermissions("src/b.f90", QFile::ReadOwner);  // read-only
    home.setPermissions("src/c.f90", {});                // unreadable
    const bool root = geteuid() == 0;
    if (root) {  // run as nobody, who owns all but c.f90
        for (const char* path : {"", "src", "src/a.f90", "src/b.f90", "src/d.f90"}) {
            ASSERT_EQ(chown(home.path(path).c_str(), kNobody, kNobody), 0);
        }
    }
    const Result r = runProgram(home, {"--backup-dir", home.path("bk"), home.path("src")}, {}, root);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.out.find("处理代码10行，文件4个"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n以下文件未能格式化，原文件保持不变：b.f90,c.f90,d.f90\n"), std::string::npos)
        << r.out;
    for (const char* name : {"b.f90", "c.f90", "d.f90"})
        EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
    home.setPermissions("src/c.f90", QFile::ReadOwner);
    EXPECT_EQ(home.read("src/b.f90") + home.read("src/c.f90"), kSource + kSource);
    EXPECT_EQ(home.read("src/d.f90"), "x = '\x81\x20'\r\n");
    EXPECT_EQ(home.read("src/a.f90"), formatted(kSource));
#endif
}

TEST(Cli, RestoreUndoesTheLastRunAndListBackupsTellsWhetherItCan) {
    TempFolder home;
    storedSlot(home, true);  // the run goes to slot 1
    home.write("src/a.f90", kSource);
    home.write("src/b.f90", kSource);
    const std::string bk = home.path("bk");
    ASSERT_EQ(runProgram(home, {"--backup-dir", bk, home.path("src")}).exitCode, 0);
    const Result clean = runProgram(home, {"--list-backups", "--backup-dir", bk});
    EXPECT_EQ(clean.exitCode, 0);
    EXPECT_NE(clean.out.find(home.path("src") + "  2 files  can be restored cleanly  (last run)\n"),
              std::string::npos)
        << clean.out;
    EXPECT_NE(clean.out.find("备份2  empty\n"), std::string::npos) << clean.out;

    home.write("src/b.f90", "edited\n");
    const Result changed = runProgram(home, {"--list-backups", "--backup-dir", bk});
    EXPECT_NE(changed.out.find("  1 file changed since the run"), std::string::npos) << changed.out;
    const Result dry = runProgram(home, {"--restore", "--dry-run", "--force", "--backup-dir", bk});
    EXPECT_EQ(dry.exitCode, 0) << dry.out;
    EXPECT_NE(dry.out.find("would restore a.f90\n"), std::string::npos) << dry.out;
    EXPECT_EQ(home.read("src/a.f90"), formatted(kSource));

    const Result plain = runProgram(home, {"--restore", "--backup-dir", bk});
    EXPECT_EQ(plain.exitCode, 1);
    EXPECT_NE(plain.out.find("left alone    b.f90: changed since the run"), std::string::npos) << plain.out;
    EXPECT_EQ(home.read("src/a.f90") + home.read("src/b.f90"), kSource + "edited\n");

    const Result forced = runProgram(home, {"--restore", "1", "--force", "--backup-dir", bk});
    EXPECT_EQ(forced.exitCode, 0) << forced.out << forced.err;
    EXPECT_EQ(home.read("src/b.f90"), kSource);
    EXPECT_EQ(home.read("bk/备份1/b.f90.before-restore"), "edited\n");
}

// A run over several PATHs (relative and absolute, files and folders, one
// outside the working folder) is undone where each file was, from another
// working folder; a same-named file below the run's working folder, where
// the absolute PATH's name would lead without its root, is never touched.
TEST(Cli, RestoreAfterSeveralPathsPutsEveryFileBackWhereItWas) {
    TempFolder home;
    storedSlot(home, true);
    const std::vector<std::string> files = {"cwd/rel/a.f90", "abs/x/b.f90", "up/c.f90", "cwd/one.f90", "abs/y.f90"};
    for (const std::string& file : files) home.write(file, kSource);
    // The absolute PATH's name without its root (and drive colon).
    std::string label = home.path("abs/x/b.f90");
    label.erase(std::remove(label.begin(), label.end(), ':'), label.end());
    const std::string decoy = "cwd/" + label.substr(label.find_first_not_of('/'));
    home.write(decoy, "unrelated\n");
    const std::string bk = home.path("bk");
    const Result run = runProgram(
        home, {"--backup-dir", bk, "rel", home.path("abs/x"), "../up/c.f90", "one.f90", home.path("abs/y.f90")},
        {}, false, home.path("cwd"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const std::string& file : files) ASSERT_EQ(home.read(file), formatted(kSource)) << file;

    const Result listed = runProgram(home, {"--list-backups", "--backup-dir", bk}, {}, false, home.path("abs"));
    EXPECT_NE(listed.out.find("5 files  can be restored cleanly"), std::string::npos) << listed.out;
    const Result undo = runProgram(home, {"--restore", "--force", "--backup-dir", bk}, {}, false, home.path("abs"));
    EXPECT_EQ(undo.exitCode, 0) << undo.out << undo.err;
    EXPECT_NE(undo.out.find("5 restored, 0 left alone"), std::string::npos) << undo.out;
    for (const std::string& file : files) EXPECT_EQ(home.read(file), kSource) << file;
    EXPECT_EQ(home.read(decoy), "unrelated\n");
}

TEST(Cli, StdoutFormatsOneFileAndTouchesNothing) {
    TempFolder home;
    storedSlot(home, true);
    const std::string gb = "! \xD6\xD0\xCE\xC4\r\nprogram p\r\nend program p\r\n";  // 中文 in GB18030
    home.write("a.f90", kSource);
    home.write("gb.f90", gb);
    const struct {
        std::vector<std::string> args;
        std::string input;
        int exitCode;
        std::string out;
    } cases[] = {
        {{"--stdout", home.path("a.f90")}, "", 0, formatted(kSource)},
        {{"--stdout", "-", "--no-indent-else"},
         kSource,
         0,
         formatted(kSource, FormatOptions{false, false, true})},
        {{"--stdout", "-"}, "\xFF\xFE", 1, ""},
        {{"--stdout", "-", "--encoding", "utf-8"}, gb, 1, ""},
        {{"--stdout", "-", "--style", "modern", "--encoding", "latin-1"},
         "program p\r\n  s = '\xE9\xFF'   \r\nend program p\n",
         0,
         "program p\r\n    s = '\xE9\xFF'\r\nend program p\n"},
    };
    for (const auto& c : cases) {
        const Result r = runProgram(home, c.args, c.input);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args[1] << r.err;
        EXPECT_EQ(r.out, c.out) << c.args[1];
    }
    // --form auto: fixed form by the extension, in any letter case.
    const std::string fixedSource = "      PROGRAM P\n      X = 1\n      END\n";
    FormatOptions fixed;
    fixed.form = SourceForm::Fixed;
    home.write("old.F77", fixedSource);
    home.write("new.f90", fixedSource);
    EXPECT_EQ(runProgram(home, {"--form", "auto", "--stdout", home.path("old.F77")}).out,
              formatted(fixedSource, fixed));
    EXPECT_EQ(runProgram(home, {"--form", "auto", "--stdout", home.path("new.f90")}).out, formatted(fixedSource));
    const Result r = runProgram(home, {"--stdout", home.path("gb.f90")});
    EXPECT_EQ(r.out.substr(r.out.size() - gb.size() + 2), gb.substr(2));   // the comment line as it was
    EXPECT_NE(r.out.find("\xB1\xBE\xC4\xA3\xBF\xE9"), std::string::npos);  // the header's 本模块 in GB18030
    EXPECT_EQ(home.read("a.f90"), kSource);
    EXPECT_FALSE(home.exists("config"));
    EXPECT_EQ(storedSlot(home), "");
}

// The line of `text` that holds `needle`, with its line end.
std::string lineWith(const std::string& text, const std::string& needle) {
    const std::size_t at = text.find(needle);
    const std::size_t start = text.rfind('\n', at) + 1;
    return text.substr(start, text.find('\n', at) + 1 - start);
}

TEST(Cli, RangeChangesOnlyItsLinesAndStdinFilenameStandsForTheFile) {
    TempFolder home;
    storedSlot(home, true);
    // Two blocks, and a text formatting would give a header banner.
    const std::string source = "program p\nif (a) then\nx = 1\nend if\nif (b) then\ny = 2\nend if\nend program p\n";
    const std::string full = formatted(source);
    const auto replaced = [&](std::vector<std::string> lines, const std::vector<int>& taken) {
        std::string text;
        for (int n = 1; n <= static_cast<int>(lines.size()); ++n) {
            const std::string& line = lines[n - 1];
            bool take = false;
            for (int t : taken) take = take || t == n;
            text += take ? lineWith(full, line.substr(0, line.size() - 1)) : line;
        }
        return text;
    };
    const std::vector<std::string> lines{"program p\n", "if (a) then\n", "x = 1\n", "end if\n",
                                         "if (b) then\n", "y = 2\n",     "end if\n", "end program p\n"};
    home.write("a.f90", source);
    const struct {
        std::string range;
        std::string out;
    } cases[] = {
        {"3:3", replaced(lines, {3})},                    // inside one block
        {"3:6", replaced(lines, {3, 4, 5, 6})},           // across blocks
        {"1:8", replaced(lines, {1, 2, 3, 4, 5, 6, 7, 8})},  // no banner added before line 1
    };
    for (const auto& c : cases) {
        const Result r = runProgram(home, {"--stdout", home.path("a.f90"), "--range", c.range});
        EXPECT_EQ(r.exitCode, 0) << c.range << r.err;
        EXPECT_EQ(r.out, c.out) << c.range;
    }
    // A file with banners already: they come back as they were.
    home.write("b.f90", full);
    EXPECT_EQ(runProgram(home, {"--stdout", home.path("b.f90"), "--range", "1:3"}).out, full);

    // --stdin-filename finds the settings file, decides the form and names the text.
    const std::string fixedSource = "      PROGRAM P\n      X = 1\n      END\n";
    FormatOptions fixed;
    fixed.form = SourceForm::Fixed;
    home.write("proj/.codekiln.toml", "form = \"auto\"\n");
    EXPECT_EQ(runProgram(home, {"--stdout", "-", "--stdin-filename", home.path("proj/old.f")}, fixedSource).out,
              formatted(fixedSource, fixed));
    const Result refused = runProgram(home, {"--stdout", "-", "--stdin-filename", "named.f90"}, "\xFF\xFE");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("named.f90"), std::string::npos) << refused.err;

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--stdout", "-", "--range", "0:3"}, {"--stdout", "-", "--range", "4:3"},
          {"--stdout", "-", "--range", "3"}, {"--range", "1:2", home.path("a.f90")},
          {"--stdout", home.path("a.f90"), "--stdin-filename", "x.f90"}}) {
        EXPECT_EQ(runProgram(home, bad).exitCode, 2) << bad[1] << " " << bad[2];
    }
    EXPECT_EQ(home.read("a.f90"), source);
}

TEST(Cli, CheckNamesFilesThatWouldChangeWithTheRunStateShared) {
    TempFolder home;
    storedSlot(home, true);
    // A labelled DO left open in a.f90 closes in b.f90 only when the state
    // is shared from file to file.
    const std::string a = "program p\r\ndo 10 i = 1, 3\r\nx = i\r\n";
    const std::string b = "do i = 1, 2\r\ny = 1\r\n10 continue\r\nz = 2\r\nend do\r\n";
    const FormatOptions noSeparators{false, true, false};
    DoLabelRecord shared;
    home.write("src/a.f90", formatText(a, noSeparators, shared).text);
    home.write("src/b.f90", formatText(b, noSeparators, shared).text);
    ASSERT_NE(home.read("src/b.f90"), formatted(b, noSeparators));
    home.write("src/c.f90", kSource);

    const Result clean =
        runProgram(home, {"--check", "--no-separators", home.path("src/a.f90"), home.path("src/b.f90")});
    EXPECT_EQ(clean.exitCode, 0) << clean.out << clean.err;
    const Result dirty = runProgram(home, {"--check", "--no-separators", home.path("src")});
    EXPECT_EQ(dirty.exitCode, 1);
    EXPECT_EQ(dirty.out, home.path("src") + kPathSeparator + "c.f90\n");  // joined as a run joins
    EXPECT_EQ(home.read("src/c.f90"), kSource);
    EXPECT_FALSE(home.exists("config"));
    EXPECT_EQ(storedSlot(home), "");
}

// A text the safety check refuses is refused alike by every mode: the batch
// run leaves the file, --stdout prints nothing, --check names it apart from
// the files that would change; each exits 1 and says why on standard error.
TEST(Cli, EveryModeRefusesWhatTheSafetyCheckRefuses) {
    const std::string refused = "x = 1\n\t \t!" + std::string(16, '*') + " !\n";
    const struct {
        const char* mode;
        std::vector<std::string> args;  // "@" stands for the folder
        std::string out;                // "@" stands for the folder and the separator a run joins with
    } cases[] = {
        {"batch", {"--backup-dir", "", "@"}, ""},
        {"quiet batch", {"--quiet", "--backup-dir", "", "@"}, ""},  // the failure alone, no summary
        {"stdout", {"--stdout", "@/b.f90"}, ""},
        {"check", {"--check", "@"}, "@a.f90\nwould not be formatted (left unchanged by a run):\n@b.f90\n"},
    };
    for (const auto& c : cases) {
        TempFolder home;
        home.write("src/a.f90", kSource);
        home.write("src/b.f90", refused);
        const std::string src = home.path("src");
        std::vector<std::string> args;
        for (std::string a : c.args) {
            if (a.empty()) a = home.path("backups");
            if (a.front() == '@') a = src + a.substr(1);
            args.push_back(a);
        }
        const Result r = runProgram(home, args);
        EXPECT_EQ(r.exitCode, 1) << c.mode << r.err;
        EXPECT_NE(r.err.find("b.f90: "), std::string::npos) << c.mode << r.err;
        EXPECT_NE(r.err.find("line 2"), std::string::npos) << c.mode << r.err;
        EXPECT_EQ(home.read("src/b.f90"), refused) << c.mode;
        if (std::string(c.mode).find("batch") != std::string::npos) {
            EXPECT_EQ(home.read("src/a.f90"), formatted(kSource)) << r.out;
            if (std::string(c.mode) == "quiet batch") {
                EXPECT_EQ(r.out, "");
            }
        } else {
            std::string out = c.out;
            for (std::size_t at; (at = out.find('@')) != std::string::npos;)
                out.replace(at, 1, src + kPathSeparator);
            EXPECT_EQ(r.out, out) << c.mode;
        }
    }
}

}  // namespace
}  // namespace codekiln
