// The pass over one file on disk: counters, the slot stored for every file,
// the backup folders and copy, and what a failed step does to the file and
// to the session state.
#include "run/chuli.h"

#include <gtest/gtest.h>

#include <QDir>

#include "engine/format/format_file.h"
#include "platform/qt_platform.h"
#include "run/reason_text.h"
#include "support/temp_folder.h"

namespace codekiln {
namespace {

// A labelled DO left open: the label record shows whether the state moved.
const std::string kOpenLoop = "program p\r\ndo 10 i = 1, 3\r\nx = i\r\n";

struct PassFixture {
    testing::TempFolder dir;
    QtPlatform platform{
        QtPlatformOptions{dir.path("root"), dir.path("settings.ini"), {}, {}}};
    SessionState session;
    RunCounters run;
    FormatOptions options{false, true, false};
    FileOutcome pass(const std::string& name) { return chuli(dir.path(name), session, run, options, platform, platform); }
    std::string storedSlot() { return platform.readSetting("chuli", "benfencishu"); }
};

TEST(Chuli, StoresTheSlotBacksUpThenFormatsInPlace) {
    PassFixture f;
    f.dir.write("a.f90", kOpenLoop);
    f.session.backupSlot = 6;  // wraps to 1
    f.run.fileCount = 4;
    const FileOutcome first = f.pass("a.f90");
    ASSERT_TRUE(first.status.ok);
    EXPECT_EQ(f.run.fileCount, 5);
    EXPECT_EQ(f.run.processedNames.at(4), "a.f90");
    EXPECT_EQ(f.storedSlot(), "1");
    EXPECT_EQ(first.lineCount, 3);
    for (int k = 1; k <= 5; ++k) EXPECT_TRUE(f.dir.exists("root/" + backupFolderName(k))) << k;
    EXPECT_EQ(f.dir.read("root/备份1/a.f90"), kOpenLoop);
    DoLabelRecord fresh;
    EXPECT_EQ(f.dir.read("a.f90"), formatText(kOpenLoop, f.options, fresh).text);

    // The slot is stored again for the next file, not once per run.
    f.platform.writeSetting("chuli", "benfencishu", "changed meanwhile");
    f.pass("a.f90");
    EXPECT_EQ(f.storedSlot(), "1");
}

TEST(Chuli, AMissingFileCountsButEndsAfterTheFirstBackupFolder) {
    PassFixture f;
    const FileOutcome gone = f.pass("gone.f90");
    EXPECT_FALSE(gone.status.ok);
    EXPECT_EQ(f.run.processedNames, std::vector<std::string>{"gone.f90"});
    EXPECT_EQ(gone.lineCount, 0);
    EXPECT_TRUE(f.dir.exists("root/备份1"));
    EXPECT_FALSE(f.dir.exists("root/备份2"));
    EXPECT_FALSE(f.dir.exists("gone.f90"));
}

// The backup folders are looked at once per run; one removed meanwhile is
// made again, and the next file still has its backup copy.
TEST(Chuli, ABackupFolderRemovedDuringTheRunIsMadeAgain) {
    PassFixture f;
    f.session.backupSlot = 1;
    f.dir.write("a.f90", kOpenLoop);
    f.dir.write("b.f90", kOpenLoop);
    ASSERT_TRUE(f.pass("a.f90").status.ok);
    ASSERT_TRUE(QDir(QString::fromStdString(f.dir.path("root/备份1"))).removeRecursively());
    const FileOutcome second = f.pass("b.f90");
    EXPECT_TRUE(second.status.ok) << englishText(second.status);
    EXPECT_EQ(f.dir.read("root/备份1/b.f90"), kOpenLoop);
}

// A failed step leaves the bytes alone and is reported. When the file could
// be read, the state moves as if it had been written, so the next file
// comes out the same either way.
TEST(Chuli, AFailedStepLeavesTheFileUntouched) {
    const struct {
        const char* label;
        std::string bytes;
        int slot;
        bool readOnly;
        bool stateMoves;
    } cases[] = {
        {"no backup folder 0", kOpenLoop, 0, false, true},
        {"read-only file", kOpenLoop, 1, true, true},
        {"undecodable bytes", "do 10 i = 1, 3\r\n\x81\x20\xFF\r\n", 1, false, false},
    };
    for (const auto& c : cases) {
        PassFixture f;
        f.dir.write("a.f90", c.bytes);
        if (c.readOnly) f.dir.setPermissions("a.f90", QFile::ReadOwner);
        f.session.backupSlot = c.slot;
        const FileOutcome outcome = f.pass("a.f90");
        const Status& status = outcome.status;
        EXPECT_FALSE(status.ok) << c.label;
        EXPECT_NE(englishText(status).find("a.f90"), std::string::npos) << c.label;
        EXPECT_EQ(f.dir.read("a.f90"), c.bytes) << c.label;
        EXPECT_EQ(f.session.doLabels.doLabelCount, c.stateMoves ? 1 : 0) << c.label;
        EXPECT_EQ(outcome.lineCount, c.stateMoves ? 3 : 0) << c.label;
    }
}

}  // namespace
}  // namespace codekiln
