// The batch run on real temporary folders: the extension warning, the slot
// rotation, the summary text, and the encodings and line ends a file may
// come in.
#include "run/run_batch.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/fake_ui.h"
#include "platform/qt_platform.h"
#include "support/memory_file_system.h"
#include "support/scratch_tree.h"
#include "support/temp_folder.h"

namespace codekiln {
namespace {

using testing::FakeUi;

std::string codeLines(int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += "x = " + std::to_string(i) + "\r\n";
    return text;
}

struct BatchFixture {
    testing::TempFolder dir;
    QtPlatform platform{
        QtPlatformOptions{dir.path("backups"), dir.path("settings.ini"), {}, {}}};
    SessionState session;
    BatchOutcome run(const std::string& extension, FakeUi& ui) {
        return runBatch(extension, dir.path("src"), session, FormatOptions{}, platform, platform, ui, testing::testJobs());
    }
    std::string storedSlot() { return platform.readSetting("chuli", "benfencishu"); }
};

// The same on a file system in memory, for what needs no real disk.
struct MemoryBatch {
    testing::MemoryFileSystem files;  // the backup root is /backups
    testing::MemorySettings settings;
    SessionState session;
    BatchOutcome run(const std::string& extension, FakeUi& ui) {
        return runBatch(extension, "/src", session, FormatOptions{}, files, settings, ui, testing::testJobs());
    }
    std::string storedSlot() { return settings.readSetting("chuli", "benfencishu"); }
};

TEST(RunBatch, SummarisesLinesFilesAndTheBackupFolder) {
    BatchFixture f;
    f.dir.write("src/b.f90", codeLines(80));
    f.dir.write("src/a.f90", codeLines(120));
    f.session.backupSlot = 2;
    FakeUi ui;
    const BatchOutcome outcome = f.run(".f90", ui);
    const std::string summary =
        "本次共处理代码200行，文件2个，分别为,a.f90,b.f90，本次运行备份文件在备份3文件夹中";
    EXPECT_EQ(outcome.end, BatchEnd::Completed);
    EXPECT_EQ(outcome.message, summary);
    EXPECT_EQ(ui.okBoxes, std::vector<std::string>{summary});
    EXPECT_EQ(f.storedSlot(), "3");
    EXPECT_EQ(f.dir.read("backups/备份3/a.f90"), codeLines(120));
    EXPECT_EQ(ui.progressCalls, (std::vector<std::string>{"0/2 a.f90", "1/2 b.f90", "2/2 "}));
}

TEST(RunBatch, AsksOnAnyExtensionButExactlyDotF90) {
    const struct {
        std::string extension;
        bool answer;
        BatchEnd end;
        bool formatted;
    } cases[] = {
        {".f90", false, BatchEnd::Completed, true},  // not asked
        {".for", true, BatchEnd::Completed, false},  // runs over *.for: a.f90 stays
        {".for", false, BatchEnd::Cancelled, false},
        {" .f90 ", true, BatchEnd::Completed, true},
        {" .f90 ", false, BatchEnd::Cancelled, false},
        {".F90", true, BatchEnd::Completed, true},  // matching ignores case
        {"   ", true, BatchEnd::MissingExtension, false},
        {"   ", false, BatchEnd::Cancelled, false},
        {"", true, BatchEnd::MissingExtension, false},
    };
    for (const auto& c : cases) {
        BatchFixture f;
        f.dir.write("src/a.f90", "x = 1\r\n");
        f.session.backupSlot = 4;
        FakeUi ui(c.answer);
        const std::string label = "'" + c.extension + "'";
        EXPECT_EQ(f.run(c.extension, ui).end, c.end) << label;
        EXPECT_EQ(ui.questions.size(), c.extension == ".f90" ? 0u : 1u) << label;
        EXPECT_EQ(f.dir.read("src/a.f90") != "x = 1\r\n", c.formatted) << label;
        EXPECT_EQ(f.session.backupSlot, c.end == BatchEnd::Completed ? 5 : 4) << label;
        const std::vector<std::string> missing{"请选择文件类型"};
        if (c.end != BatchEnd::Completed) {
            EXPECT_EQ(ui.okBoxes, c.end == BatchEnd::MissingExtension ? missing : std::vector<std::string>{})
                << label;
        }
    }
    EXPECT_EQ(
        kExtensionWarning,
        "您要格式化的文件为非自由格式(非f90格式)\r\n格式化后可能会导致程序无法正常运行，是否要继续格式化?");
}

TEST(RunBatch, SlotWrapsAfterFive) {
    for (const auto& [before, used] : {std::pair{0, 1}, {4, 5}, {5, 1}, {9, 1}}) {
        MemoryBatch f;
        f.files.put("/src/a.f90", "x = 1\r\n");
        f.session.backupSlot = before;
        FakeUi ui;
        f.run(".f90", ui);
        EXPECT_EQ(f.storedSlot(), std::to_string(used)) << before;
        EXPECT_EQ(f.files.bytes("/backups/备份" + std::to_string(used) + "/a.f90"), "x = 1\r\n") << before;
    }
}

// A run that finds no file advances the slot it reports, not the stored
// one; the next run of the session counts on from it unless another
// program has stored a slot meanwhile.
TEST(RunBatch, RunsWithoutFilesAdvanceOnlyTheReportedSlot) {
    auto emptySummary = [](int slot) {
        return "本次共处理代码0行，文件0个，分别为，本次运行备份文件在备份" + std::to_string(slot) + "文件夹中";
    };
    MemoryBatch f;
    f.files.put("/src/other.txt", "x");
    f.settings.writeSetting("chuli", "benfencishu", "2");
    f.session.backupSlot = 2;
    for (int run = 1; run <= 3; ++run) {
        FakeUi ui;
        EXPECT_EQ(f.run(".f90", ui).message, emptySummary(2 + run));
        EXPECT_EQ(f.storedSlot(), "2");
        EXPECT_FALSE(f.files.hasFile("/backups/备份" + std::to_string(2 + run) + "/a.f90")) << run;
    }
    FakeUi ui;
    f.files.put("/src/a.f90", "x = 1\r\n");
    f.run(".f90", ui);  // from 5 on to 1
    EXPECT_EQ(f.storedSlot(), "1");
    EXPECT_EQ(f.files.bytes("/backups/备份1/a.f90"), "x = 1\r\n");

    MemoryBatch other;
    other.settings.writeSetting("chuli", "benfencishu", "2");
    other.session.backupSlot = 2;
    FakeUi first, second;
    EXPECT_EQ(other.run(".f90", first).message, emptySummary(3));
    other.settings.writeSetting("chuli", "benfencishu", "4");  // another program's run
    EXPECT_EQ(other.run(".f90", second).message, emptySummary(5));
}

// A file that cannot be decoded is named once in the summary's failure
// line and once in the details, with the reason and without its path.
TEST(RunBatch, NamesAFailedFileOnceWithItsReason) {
    BatchFixture f;
    f.dir.write("src/a.f90", "x = 1\r\n");
    f.dir.write("src/bad.f90", "x\x81\x20y\r\n");  // neither UTF-8 nor GB18030
    FakeUi ui;
    const BatchOutcome outcome = f.run(".f90", ui);
    EXPECT_NE(outcome.message.find("\r\n以下文件未能格式化，原文件保持不变：bad.f90"), std::string::npos)
        << outcome.message;
    EXPECT_EQ(ui.details, std::vector<std::string>{"bad.f90：neither UTF-8 nor GB18030 text"});
}

// A batch its journal cannot record is not replaced: a killed run could not
// be undone. Each such file is reported with the reason; a file already
// formatted, with nothing to replace, is not.
TEST(RunBatch, NothingIsReplacedThatTheJournalCouldNotRecord) {
    MemoryBatch f;
    f.files.put("/src/a.f90", "x = 1\n");
    FakeUi first;
    f.run(".f90", first);  // a.f90 formatted already
    f.files.put("/src/b.f90", "y = 2\n");
    f.files.before = [](testing::FsCall call, const std::string& path) {
        return call == testing::FsCall::Journal ? Status::failure(Why::CannotWrite, path, {}, "injected")
                                                : Status::success();
    };
    const int replaced = f.files.calls(testing::FsCall::Replace);
    FakeUi ui;
    const BatchOutcome outcome = f.run(".f90", ui);
    EXPECT_EQ(f.files.bytes("/src/b.f90"), "y = 2\n");
    EXPECT_EQ(f.files.calls(testing::FsCall::Replace), replaced);
    ASSERT_EQ(outcome.files.size(), 2u);
    EXPECT_EQ(outcome.files[0].end, FileEnd::Unchanged);
    EXPECT_EQ(outcome.files[1].code, FailureCode::NoBackup);
    EXPECT_NE(outcome.files[1].reason.find("could not record it"), std::string::npos) << outcome.files[1].reason;
}

// The headline keeps everything of a summary but the names processed.
TEST(SummaryHeadline, LeavesOutTheNamesOnly) {
    RunCounters run;
    run.fileCount = 2;
    run.totalLines = 7;
    run.processedNames = {"a.f90", "本次运行备份文件在备份9.f90"};  // a name with the summary's words
    const std::string summary =
        summaryText(run, 3, {{"b.f90", Status::failure(Why::CannotWrite, "b.f90").reason}}, 4);
    EXPECT_EQ(summaryHeadline(summary),
              "本次共处理代码7行，文件2个，本次运行备份文件在备份3文件夹中" +
                  summary.substr(summary.find("\r\n")));
    EXPECT_NE(summaryHeadline(summary).find("处理已取消，其余4个"), std::string::npos);
    run = RunCounters{};
    EXPECT_EQ(summaryHeadline(summaryText(run, 1, {})), "本次共处理代码0行，文件0个，本次运行备份文件在备份1文件夹中");
    EXPECT_EQ(summaryHeadline(kMissingExtension), "");
    EXPECT_EQ(summaryHeadline(kExtensionWarning), "");
}

// Whatever the encoding and line ends, a file comes back in its own
// encoding with CR LF line ends, its untouched lines byte for byte, and a
// second run changes nothing.
TEST(RunBatch, KeepsEncodingAndEndsEveryLineWithCrLf) {
    const std::string gbComment =
        "! \xC8\xC8\xB4\xAB\xB5\xBC\xB5\xC4\xB7\xBD\xB3\xCC";  // 热传导的方程 in GB18030
    const struct {
        std::string bytes;
        std::string keptLine;
    } cases[] = {
        {gbComment + "\r\nprogram p\r\nend program p\r\n", gbComment + "\r\n"},
        {"\xEF\xBB\xBF! 热传导\r\nprogram p\r\nend program p\r\n", "! 热传导\r\n"},
        {"program p\nx = 1\nend program p\n", "    x = 1\r\n"},
        {"program p\rx = 1\rend program p", "    x = 1\r\n"},
        {"program p\r\nx = 1\nend program p\r\n", "    x = 1\r\n"},
    };
    for (const auto& c : cases) {
        BatchFixture f;
        f.dir.write("src/a.f90", c.bytes);
        FakeUi ui;
        ASSERT_TRUE(f.run(".f90", ui).failures.empty()) << c.bytes;
        const std::string once = f.dir.read("src/a.f90");
        EXPECT_NE(once.find(c.keptLine), std::string::npos) << c.bytes;
        EXPECT_EQ(once.rfind("\xEF\xBB\xBF", 0) == 0, c.bytes.rfind("\xEF\xBB\xBF", 0) == 0) << c.bytes;
        const auto crlf = std::count(once.begin(), once.end(), '\r');
        EXPECT_EQ(std::count(once.begin(), once.end(), '\n'), crlf) << c.bytes;
        for (std::size_t i = once.find('\r'); i != std::string::npos; i = once.find('\r', i + 1)) {
            EXPECT_EQ(once[i + 1], '\n') << c.bytes;
        }
        FakeUi again;
        f.run(".f90", again);
        EXPECT_EQ(f.dir.read("src/a.f90"), once) << c.bytes;
    }
}

// A user who stops the run once `after` files are done.
struct StoppingUi : FakeUi {
    explicit StoppingUi(long long after) : after(after) {}
    bool stopRequested() override { return progressCalls.size() > static_cast<std::size_t>(after); }
    long long after;
};

// Stopped after k files, several jobs leave exactly the files one job
// leaves untouched (read ahead, never written), and count them the same.
TEST(RunBatch, AStopLeavesTheSameFilesUntouchedWithAnyNumberOfJobs) {
    for (const long long k : {0LL, 1LL, 5LL}) {
        std::vector<std::string> trees;
        for (const int jobs : {1, 3}) {
            SCOPED_TRACE("stop after " + std::to_string(k) + ", jobs " + std::to_string(jobs));
            BatchFixture f;
            const auto source = [](int i) { return "  x = " + std::to_string(i) + "\n"; };
            for (int i = 0; i < 8; ++i) f.dir.write("src/f" + std::to_string(i) + ".f90", source(i));
            StoppingUi ui(k);
            const BatchOutcome outcome =
                runBatch(".f90", f.dir.path("src"), f.session, FormatOptions{}, f.platform, f.platform, ui, jobs);
            std::string tree;
            for (int i = 0; i < 8; ++i) {
                const std::string now = f.dir.read("src/f" + std::to_string(i) + ".f90");
                EXPECT_EQ(now == source(i), i >= k) << i;
                tree += now + "|";
            }
            trees.push_back(tree);
            EXPECT_EQ(outcome.stopped, 8 - k);
        }
        EXPECT_EQ(trees[0], trees[1]);
    }
}

// The run decodes every file as it was told to, those read and formatted
// ahead by other jobs as much as the one at its turn.
TEST(RunFiles, DecodesEveryFileAsTheRunChose) {
    const std::string gb18030 = "x = '\xD6\xD0'\r\n";  // not UTF-8
    for (const EncodingChoice choice : {EncodingChoice::Auto, EncodingChoice::Utf8}) {
        const bool utf8 = choice == EncodingChoice::Utf8;
        MemoryBatch f;
        std::vector<RunFile> files;
        for (const std::string name : {"a.f90", "b.f90", "c.f90"}) {
            f.files.put("/src/" + name, gb18030);
            files.push_back({"/src/" + name, name});
        }
        PipelineOptions pipeline;
        pipeline.jobs = testing::testJobs();
        pipeline.encoding = choice;
        FakeUi ui;
        const BatchOutcome outcome =
            runFiles(files, "/src", ".f90", f.session, FormatOptions{}, pipeline, f.files, f.settings, ui);
        ASSERT_EQ(outcome.files.size(), 3u);
        for (const FileReport& file : outcome.files) {
            EXPECT_EQ(file.code, utf8 ? FailureCode::NotDecoded : FailureCode::None) << file.name;
            EXPECT_EQ(f.files.bytes(file.path) == gb18030, utf8) << file.name;
        }
    }
}

}  // namespace
}  // namespace codekiln
