// Faults in which a run could lose a person's text: a run that cannot store
// its slot or finds its backup root in use, a file in a backup folder, a link
// planted in a slot folder, a file changed between reading and renaming,
// metadata, hard links, undecodable names and a second name for one file.
// In every case each original byte is in the file or in a backup.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <fstream>
#include <functional>
#include <string>

#include "engine/format/format_file.h"
#include "platform/posix_files.h"
#include "platform/qt_platform.h"
#include "run/run_batch.h"
#include "support/fake_ui.h"
#include "support/scratch_tree.h"

namespace codekiln {
namespace {

const std::string kSource = "program p\ndo 10 i = 1, 2\nx = '  a  '\n10 continue\nend program p\n";

std::string formatted(const std::string& text) {
    DoLabelRecord fresh;
    return formatText(text, FormatOptions{}, fresh).text;
}

struct stat statOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

/// The real platform with a hook after each reading and a short lock wait.
class HookedPlatform : public QtPlatform {
public:
    using QtPlatform::QtPlatform;
    std::function<void(const std::string& path)> afterRead = [](const std::string&) {};

    // Files are read ahead on several threads: one hook at a time.
    Status readFileOnce(const std::string& path, std::string& bytes, FileIdentity& identity) override {
        Status status = QtPlatform::readFileOnce(path, bytes, identity);
        const std::lock_guard<std::mutex> lock(hookMutex);
        afterRead(path);
        return status;
    }
    std::mutex hookMutex;
    Status lockBackupRoot(int, std::unique_ptr<RootLock>& lock) override {
        return QtPlatform::lockBackupRoot(50, lock);
    }
};

struct TreeRun {
    testing::ScratchTree tree;
    QtPlatformOptions options = [this] {
        QtPlatformOptions o;
        o.backupRoot = tree.path("backup");
        o.settingsFile = tree.path("settings.ini");
        return o;
    }();
    HookedPlatform platform{options};
    SessionState session;
    testing::FakeUi ui;
    BatchOutcome go(const std::string& folder = "in") {
        return runBatch(".f90", tree.path(folder), session, FormatOptions{}, platform, platform, ui, testing::testJobs());
    }
};

TEST(NoLoss, ARunThatCannotHaveItsSlotTouchesNothing) {
    for (const bool busy : {true, false}) {
        SCOPED_TRACE(busy ? "backup root in use" : "slot cannot be stored");
        TreeRun r;
        r.tree.write("in/a.f90", kSource);
        r.tree.write("store", "");  // a file where the settings folder would be
        if (!busy) r.options.settingsFile = r.tree.path("store/settings.ini");
        HookedPlatform platform(r.options);
        std::unique_ptr<RootLock> other;
        if (busy) {
            ASSERT_TRUE(QtPlatform(r.options).lockBackupRoot(0, other));
        }
        const testing::Snapshot before = r.tree.snapshot("in");
        const BatchOutcome outcome =
            runBatch(".f90", r.tree.path("in"), r.session, FormatOptions{}, platform, platform, r.ui, testing::testJobs());
        EXPECT_EQ(outcome.end, BatchEnd::NotStarted);
        EXPECT_EQ(outcome.message.rfind(busy ? kBackupRootUnavailable : kSlotNotStored, 0), 0u)
            << outcome.message;
        EXPECT_EQ(r.ui.okBoxes, std::vector<std::string>{outcome.message});
        EXPECT_EQ(r.tree.snapshot("in"), before);
        EXPECT_FALSE(std::filesystem::exists(r.tree.path("backup/备份1")));
        EXPECT_EQ(r.session.backupSlot, 0);
    }
}

TEST(NoLoss, TheStoredSlotIsReadUnderTheLock) {
    TreeRun r;
    r.tree.write("in/a.f90", kSource);
    r.session.backupSlot = 1;
    r.platform.writeSetting("chuli", "benfencishu", "3");  // another program ran meanwhile
    r.go();
    EXPECT_EQ(r.session.backupSlot, 4);
    EXPECT_EQ(r.tree.read("backup/备份4/a.f90"), kSource);
}

TEST(NoLoss, FilesInABackupFolderAreNeverFormatted) {
    TreeRun r;
    r.platform.writeSetting("chuli", "benfencishu", "1");
    r.tree.write("backup/备份2/a.f90", kSource);  // the slot this run backs up into
    r.tree.write("backup/备份4/b.f90", kSource);
    // Reached through links too: a linked folder, and a link in a folder.
    r.tree.symlink("via", r.tree.path("backup/备份2"));
    r.tree.symlink("links/b.f90", r.tree.path("backup/备份4/b.f90"));
    for (const char* folder : {"backup/备份2", "backup/备份4", "via", "links"}) {
        const BatchOutcome outcome = r.go(folder);
        ASSERT_EQ(outcome.failures.size(), 1u) << folder;
        EXPECT_EQ(outcome.failures[0].reason.code, Why::InBackupFolder);
    }
    EXPECT_EQ(r.tree.read("backup/备份2/a.f90"), kSource);
    EXPECT_EQ(r.tree.read("backup/备份4/b.f90"), kSource);
}

TEST(NoLoss, ALinkInTheSlotFolderIsReplacedNotFollowed) {
    TreeRun r;
    r.tree.write("in/a.f90", kSource);
    r.tree.write("in/b.f90", kSource + "! b\n");
    r.tree.write("notes.txt", "my notes\n");
    r.tree.symlink("backup/备份1/a.f90", r.tree.path("notes.txt"));
    r.tree.symlink("backup/备份1/b.f90", r.tree.path("in/b.f90"));  // a link to the source itself
    ASSERT_TRUE(r.go().failures.empty());
    EXPECT_EQ(r.tree.read("notes.txt"), "my notes\n");
    EXPECT_TRUE(S_ISREG(statOf(r.tree.path("backup/备份1/a.f90")).st_mode));
    EXPECT_EQ(r.tree.read("backup/备份1/a.f90"), kSource);
    EXPECT_EQ(r.tree.read("backup/备份1/b.f90"), kSource + "! b\n");
    EXPECT_EQ(r.tree.read("in/b.f90"), formatted(kSource + "! b\n"));
}

TEST(NoLoss, AFileChangedAfterReadingIsLeftAsTheOtherProgramLeftIt) {
    const struct {
        const char* how;
        std::function<void(testing::ScratchTree&)> change;
        std::string expected;
    } rows[] = {
        {"appended to",
         [](testing::ScratchTree& t) { std::ofstream(t.path("in/a.f90"), std::ios::app) << "y = 2\n"; },
         kSource + "y = 2\n"},
        {"saved atomically",
         [](testing::ScratchTree& t) {
             t.write("in/new", "x = 9\n");
             std::filesystem::rename(t.path("in/new"), t.path("in/a.f90"));
         },
         "x = 9\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.how);
        TreeRun r;
        r.tree.write("in/a.f90", kSource);
        r.platform.afterRead = [&](const std::string&) { row.change(r.tree); };
        const BatchOutcome outcome = r.go();
        ASSERT_EQ(outcome.failures.size(), 1u);
        EXPECT_EQ(outcome.failures[0].reason.code, Why::ChangedDuringFormatting);
        EXPECT_EQ(r.tree.read("in/a.f90"), row.expected);
        EXPECT_EQ(r.tree.read("backup/备份1/a.f90"), kSource);  // the text that was read
    }
}

TEST(NoLoss, KeepsPermissionsOwnerLinksAndUnchangedFiles) {
    TreeRun r;
    r.tree.write("in/private.f90", kSource, 0600);
    r.tree.write("in/setuid.f90", kSource, 04755);
    r.tree.write("in/linked.f90", kSource);
    r.tree.write("in/done.f90", formatted(kSource));
    std::filesystem::create_hard_link(r.tree.path("in/linked.f90"), r.tree.path("elsewhere.f90"));
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(r.tree.path("in/private.f90").c_str(), 65534, 65534), 0);
    }
    const struct stat done = statOf(r.tree.path("in/done.f90"));
    const struct stat linked = statOf(r.tree.path("in/linked.f90"));
    ASSERT_TRUE(r.go().failures.empty());

    const struct stat priv = statOf(r.tree.path("in/private.f90"));
    EXPECT_EQ(priv.st_mode & 07777, 0600u);
    EXPECT_EQ(priv.st_uid, root ? 65534u : ::geteuid());
    EXPECT_EQ(statOf(r.tree.path("backup/备份1/private.f90")).st_mode & 07777, 0600u);
    EXPECT_EQ(statOf(r.tree.path("in/setuid.f90")).st_mode & 07777, 04755u);
    EXPECT_EQ(statOf(r.tree.path("backup/备份1/setuid.f90")).st_mode & 07777, 0755u);
    const struct stat backup = statOf(r.tree.path("backup/备份1/linked.f90"));
    EXPECT_EQ(backup.st_mtim.tv_sec, linked.st_mtim.tv_sec);
    EXPECT_EQ(backup.st_mtim.tv_nsec, linked.st_mtim.tv_nsec);
    // Both links see the formatted text, through the same inode.
    EXPECT_EQ(r.tree.read("elsewhere.f90"), formatted(kSource));
    EXPECT_EQ(statOf(r.tree.path("in/linked.f90")).st_ino, linked.st_ino);
    // A file already formatted is backed up and left exactly as it was.
    const struct stat after = statOf(r.tree.path("in/done.f90"));
    EXPECT_EQ(after.st_ino, done.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, done.st_mtim.tv_nsec);
    EXPECT_EQ(r.tree.read("backup/备份1/done.f90"), formatted(kSource));
}

TEST(NoLoss, NamesAreTakenExactlyAndEachFileFormattedOnce) {
    TreeRun r;
    r.tree.write("in/a\xFF.f90", kSource);
    r.tree.write("in/a\xEF\xBF\xBD.f90", "program q\nend program q\n");  // U+FFFD, a valid name
    r.tree.write("in/b.f90", kSource);
    r.tree.symlink("in/c.f90", r.tree.path("in/b.f90"));  // a second name for b.f90
    r.tree.write("in/d\n.f90", kSource);
    const BatchOutcome outcome = r.go();
    EXPECT_TRUE(outcome.failures.empty());
    EXPECT_EQ(r.tree.read("in/a\xFF.f90"), formatted(kSource));
    EXPECT_EQ(r.tree.read("in/a\xEF\xBF\xBD.f90"), formatted("program q\nend program q\n"));
    EXPECT_EQ(r.tree.read("backup/备份1/a\xFF.f90"), kSource);
    // b.f90 counted once: 5 code lines for each of the three files with kSource.
    EXPECT_NE(
        outcome.message.find("本次共处理代码17行，文件5个，分别为,a\xEF\xBF\xBD.f90,a\\xFF.f90,b.f90,c.f90,"
                             "d\\x0A.f90，"),
        std::string::npos)
        << outcome.message;
}

TEST(NoLoss, StaleTemporaryFilesOfDeadRunsAreRemoved) {
    TreeRun r;
    r.tree.write("in/a.f90", kSource);
    const std::string dead = std::string(kTemporaryPrefix) + "999999999-3.tmp";
    const std::string alive = std::string(kTemporaryPrefix) + std::to_string(::getppid()) + "-1.tmp";
    for (const std::string folder : {"in/", "backup/备份1/"}) {
        r.tree.write(folder + dead, "x");
        r.tree.write(folder + alive, "x");
    }
    r.tree.write("in/.codekiln-12x-1.tmp", "not ours");
    r.go();
    for (const std::string folder : {"in/", "backup/备份1/"}) {
        EXPECT_FALSE(std::filesystem::exists(r.tree.path(folder + dead))) << folder;
        EXPECT_TRUE(std::filesystem::exists(r.tree.path(folder + alive))) << folder;
    }
    EXPECT_TRUE(std::filesystem::exists(r.tree.path("in/.codekiln-12x-1.tmp")));
}

}  // namespace
}  // namespace codekiln
