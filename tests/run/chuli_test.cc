// The pass over one file, on a file system in memory: counters, the slot
// stored for every file, the backup folders and copy, and what a failed
// step does to the file and to the session state.
#include "run/chuli.h"

#include <gtest/gtest.h>

#include <optional>

#include "engine/format/format_file.h"
#include "run/reason_text.h"
#include "support/memory_file_system.h"

namespace codekiln {
namespace {

using testing::FsCall;

// A labelled DO left open: the label record shows whether the state moved.
const std::string kOpenLoop = "program p\r\ndo 10 i = 1, 3\r\nx = i\r\n";

struct PassFixture {
    testing::MemoryFileSystem files{"/root"};
    testing::MemorySettings settings;
    SessionState session;
    RunCounters run;
    FormatOptions options{false, true, false};
    FileOutcome pass(const std::string& name) {
        return chuli("/src/" + name, session, run, options, files, settings);
    }
    std::string storedSlot() { return settings.readSetting("chuli", "benfencishu"); }
};

TEST(Chuli, StoresTheSlotBacksUpThenFormatsInPlace) {
    PassFixture f;
    f.files.put("/src/a.f90", kOpenLoop);
    f.session.backupSlot = 6;  // wraps to 1
    f.run.fileCount = 4;
    const FileOutcome first = f.pass("a.f90");
    ASSERT_TRUE(first.status.ok);
    EXPECT_EQ(f.run.fileCount, 5);
    EXPECT_EQ(f.run.processedNames.at(4), "a.f90");
    EXPECT_EQ(f.storedSlot(), "1");
    EXPECT_EQ(first.lineCount, 3);
    for (int k = 1; k <= 5; ++k) EXPECT_TRUE(f.files.folderExists("/root/" + backupFolderName(k))) << k;
    EXPECT_EQ(f.files.bytes("/root/备份1/a.f90"), kOpenLoop);
    DoLabelRecord fresh;
    EXPECT_EQ(f.files.bytes("/src/a.f90"), formatText(kOpenLoop, f.options, fresh).text);

    // The slot is stored again for the next file, not once per run.
    f.settings.writeSetting("chuli", "benfencishu", "changed meanwhile");
    f.pass("a.f90");
    EXPECT_EQ(f.storedSlot(), "1");
}

TEST(Chuli, AMissingFileCountsButEndsAfterTheFirstBackupFolder) {
    PassFixture f;
    const FileOutcome gone = f.pass("gone.f90");
    EXPECT_FALSE(gone.status.ok);
    EXPECT_EQ(f.run.processedNames, std::vector<std::string>{"gone.f90"});
    EXPECT_EQ(gone.lineCount, 0);
    EXPECT_TRUE(f.files.folderExists("/root/备份1"));
    EXPECT_FALSE(f.files.folderExists("/root/备份2"));
    EXPECT_FALSE(f.files.hasFile("/src/gone.f90"));
}

// The backup folders are looked at once per run; one removed meanwhile is
// made again, and the next file still has its backup copy.
TEST(Chuli, ABackupFolderRemovedDuringTheRunIsMadeAgain) {
    PassFixture f;
    f.session.backupSlot = 1;
    f.files.put("/src/a.f90", kOpenLoop);
    f.files.put("/src/b.f90", kOpenLoop);
    ASSERT_TRUE(f.pass("a.f90").status.ok);
    f.files.remove("/root/备份1");
    const FileOutcome second = f.pass("b.f90");
    EXPECT_TRUE(second.status.ok) << englishText(second.status);
    EXPECT_EQ(f.files.bytes("/root/备份1/b.f90"), kOpenLoop);
}

// A failed step leaves the bytes alone and is reported. When the file could
// be read, the state moves as if it had been written, so the next file
// comes out the same either way. A file another program changed after it
// was read keeps that program's bytes.
TEST(Chuli, AFailedStepLeavesTheFileUntouched) {
    const std::string kUndecodable = "do 10 i = 1, 3\r\n\x81\x20\xFF\r\n";
    const std::string kOther = "x = 2\r\n";
    const struct {
        const char* label;
        std::string bytes;
        int slot;
        std::optional<FsCall> failing;
        bool otherWrites;  ///< another program rewrites the file before the pass does
        FailureCode code;
        bool stateMoves;
    } cases[] = {
        {"no backup folder 0", kOpenLoop, 0, std::nullopt, false, FailureCode::NoBackup, true},
        {"the look fails", kOpenLoop, 1, FsCall::Stat, false, FailureCode::NotReadable, false},
        {"the reading fails", kOpenLoop, 1, FsCall::Read, false, FailureCode::NotReadable, false},
        {"the backup fails", kOpenLoop, 1, FsCall::WriteBackup, false, FailureCode::NoBackup, true},
        {"the rewrite fails", kOpenLoop, 1, FsCall::Replace, false, FailureCode::NotWritten, true},
        {"changed after reading", kOpenLoop, 1, std::nullopt, true, FailureCode::NotWritten, true},
        {"undecodable bytes", kUndecodable, 1, std::nullopt, false, FailureCode::NotDecoded, false},
    };
    for (const auto& c : cases) {
        PassFixture f;
        f.files.put("/src/a.f90", c.bytes);
        f.files.before = [&](FsCall call, const std::string& path) {
            if (c.otherWrites && call == FsCall::Replace) f.files.put("/src/a.f90", kOther);
            if (call != c.failing) return Status::success();
            const bool reading = call == FsCall::Stat || call == FsCall::Read;
            return Status::failure(reading ? Why::CannotRead : Why::CannotWrite, path, {}, "injected");
        };
        f.session.backupSlot = c.slot;
        const FileOutcome outcome = f.pass("a.f90");
        const Status& status = outcome.status;
        EXPECT_FALSE(status.ok) << c.label;
        EXPECT_EQ(outcome.code, c.code) << c.label << ": " << englishText(status);
        EXPECT_NE(englishText(status).find("a.f90"), std::string::npos) << c.label;
        EXPECT_EQ(f.files.bytes("/src/a.f90"), c.otherWrites ? kOther : c.bytes) << c.label;
        EXPECT_EQ(f.session.doLabels.doLabelCount, c.stateMoves ? 1 : 0) << c.label;
        EXPECT_EQ(outcome.lineCount, c.stateMoves ? 3 : 0) << c.label;
    }
}

}  // namespace
}  // namespace codekiln
