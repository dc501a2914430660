// The platform operations on real temporary folders: the listing's filter
// and order, atomic rewrites, backups replacing older copies, the settings
// store and the backup root.
#include "platform/qt_platform.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include "support/temp_folder.h"

namespace codekiln {
namespace {

using testing::TempFolder;

TEST(ListFiles, KeepsOrdinaryMatchingFilesInNameOrder) {
    TempFolder dir;
    for (const char* name :
         {"b.f90", "a.F90", "A.f90", "c.f90", ".hidden.f90", "x.f900", "中文.f90", "sub.f90/x"}) {
        dir.write(name, "x\n");
    }
#ifdef _WIN32
    // Names ignore case there: "A.f90" was written into "a.F90". QFile::link
    // would make a shortcut, an ordinary file.
    const std::vector<std::string> expected = {"a.F90", "b.f90", "c.f90", "中文.f90"};
#else
    QFile::link(QString::fromStdString(dir.path("gone")), QString::fromStdString(dir.path("dangling.f90")));
    const std::vector<std::string> expected = {"A.f90", "a.F90", "b.f90", "c.f90", "中文.f90"};
#endif
    QtPlatform platform;
    std::vector<std::string> names;
    ASSERT_TRUE(platform.listFiles(dir.path(), ".f90", names).ok);
    EXPECT_EQ(names, expected);
    ASSERT_TRUE(platform.listFiles(dir.path(), ".F9?", names).ok);  // the extension may hold wildcards
    EXPECT_EQ(names.size(), expected.size());
    EXPECT_FALSE(platform.listFiles(dir.path("missing"), ".f90", names).ok);
}

TEST(ListFiles, NamesWhyAFolderCannotBeListedAndListsNothing) {
    TempFolder dir;
    dir.write("a.f90", "x\n");
    struct Case {
        std::string folder;
        Why why;
    };
    std::vector<Case> cases = {{dir.path("missing"), Why::FolderNotFound}, {dir.path("a.f90"), Why::NotAFolder}};
#ifndef _WIN32
    cases.push_back({dir.path("\xff-missing"), Why::FolderNotFound});  // a name Qt cannot reach
#endif
    QtPlatform platform;
    for (const Case& c : cases) {
        std::vector<std::string> names{"stale.f90"};
        const Status listed = platform.listFiles(c.folder, ".f90", names);
        EXPECT_FALSE(listed.ok) << c.folder;
        EXPECT_EQ(listed.code(), c.why) << c.folder;
        EXPECT_TRUE(names.empty()) << c.folder;
    }
}

TEST(WriteFileAtomically, ReplacesContentKeepingPermissionsAndLinks) {
#ifdef _WIN32
    GTEST_SKIP() << "mode bits and symbolic links as POSIX has them";
#endif
    TempFolder dir;
    const auto mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    dir.write("plain.f90", "old");
    dir.setPermissions("plain.f90", mode);
    dir.write("target.f90", "old");
    QFile::link(QString::fromStdString(dir.path("target.f90")), QString::fromStdString(dir.path("link.f90")));

    ASSERT_TRUE(writeFileAtomically(dir.path("plain.f90"), "new").ok);
    EXPECT_EQ(dir.read("plain.f90"), "new");
    EXPECT_EQ(QFile::permissions(QString::fromStdString(dir.path("plain.f90"))) &
                  ~(QFile::ReadUser | QFile::WriteUser),
              mode);
    ASSERT_TRUE(writeFileAtomically(dir.path("link.f90"), "through the link").ok);
    EXPECT_TRUE(QFileInfo(QString::fromStdString(dir.path("link.f90"))).isSymLink());
    EXPECT_EQ(dir.read("target.f90"), "through the link");
}

TEST(WriteFileAtomically, LeavesOldBytesWhenItCannotWrite) {
    TempFolder dir;
    dir.write("locked.f90", "old bytes");
    dir.setPermissions("locked.f90", QFile::ReadOwner);  // read-only even for root
    const Status status = writeFileAtomically(dir.path("locked.f90"), "new");
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.reason.path.find("locked.f90"), std::string::npos);
    EXPECT_EQ(dir.read("locked.f90"), "old bytes");
    EXPECT_FALSE(writeFileAtomically(dir.path("no/such/folder/x.f90"), "new").ok);
}

// A run's journal reads back what was appended to it, batch by batch; a
// last line cut short by a kill is left out, another run's journal is not
// this one's, and a damaged line refuses the whole journal.
TEST(RunJournal, ReadsBackWhatWasAddedAndNoMore) {
    TempFolder dir;
    QtPlatform platform;
    ManifestFile a;
    a.path = "a.f90";
    a.end = FileEnd::Formatted;
    a.original = {3, HashKind::Xxh3_128, std::string(32, 'a')};
    a.written = {4, HashKind::Xxh3_128, std::string(32, 'b')};
    ManifestFile b = a;
    b.path = "sub/\xFF b.f90";
    b.place = "/elsewhere/b.f90";
    ASSERT_TRUE(platform.appendRunJournal(dir.path(), 1000, {a}, true).ok);
    ASSERT_TRUE(platform.appendRunJournal(dir.path(), 1000, {b, a}, false).ok);
    const std::string whole = dir.read(kRunJournalName);
    const struct {
        std::string bytes;
        std::int64_t started;
        bool ok, found;
        std::size_t files;
    } cases[] = {
        {whole, 1000, true, true, 3},
        {whole + "{\"outcome\":\"formatted\",\"pa", 1000, true, true, 3},
        {whole.substr(0, whole.size() - 1), 1000, true, true, 2},
        {whole, 2000, true, false, 0},
        {whole + "not json\n", 1000, false, false, 0},
    };
    for (const auto& c : cases) {
        dir.write(kRunJournalName, c.bytes);
        std::vector<ManifestFile> files;
        bool found = false;
        const Status read = platform.readRunJournal(dir.path(), c.started, files, found);
        EXPECT_EQ(read.ok, c.ok) << c.bytes;
        if (!c.ok) continue;
        EXPECT_EQ(found, c.found) << c.bytes;
        ASSERT_EQ(files.size(), c.files) << c.bytes;
        if (c.files == 3) {
            EXPECT_EQ(files[1].path, b.path);
            EXPECT_EQ(files[1].place, b.place);
            EXPECT_EQ(files[1].written, b.written);
        }
    }
}

// A lock file that names no holder (a program killed as it took the lock)
// is taken over once it is old, never while it may be a holder's just made.
TEST(LockBackupRoot, TakesOverANamelessLockFileOnlyWhenOld) {
    for (const bool old : {false, true}) {
        TempFolder dir;
        dir.write(kRootLockName, "");
        QFile file(QString::fromStdString(dir.path(kRootLockName)));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        if (old) file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime);
        file.close();
        QtPlatformOptions options;
        options.backupRoot = dir.path();
        std::unique_ptr<RootLock> lock;
        EXPECT_EQ(QtPlatform(options).lockBackupRoot(0, lock).ok, old);
    }
}

#ifndef _WIN32
// An opener that cannot start, or that ends saying it could not open the
// folder, is a failure; one that ends well is not.
TEST(OpenFolder, TellsAnOpenerThatFailsFromOneThatOpened) {
    TempFolder dir;
    const struct {
        std::string program;
        bool opened;
        Why says;
    } cases[] = {
        {"true", true, Why::None},
        {"false", false, Why::OpenerFailed},
        {dir.path("no such opener"), false, Why::CannotStart},
    };
    for (const auto& c : cases) {
        const Status status = runFolderOpener(c.program, dir.path());
        EXPECT_EQ(status.ok, c.opened) << c.program;
        EXPECT_EQ(status.code(), c.says) << c.program;
        if (c.says == Why::OpenerFailed) {
            EXPECT_EQ(status.reason.line, 1);
        }
    }
}
#endif

TEST(BackupRoot, IsTheOverrideElseTheWritableProgramFolder) {
    TempFolder dir;
    QtPlatformOptions options;
    options.programFolder = dir.path();
    EXPECT_EQ(QtPlatform(options).backupRoot(), dir.path());
    options.backupRoot = dir.path("elsewhere/backups");
    EXPECT_EQ(QtPlatform(options).backupRoot(), dir.path("elsewhere/backups"));
    EXPECT_TRUE(dir.exists("elsewhere/backups"));  // ready for 备份1..备份5
}

TEST(BackupRoot, SystemProgramFoldersAreNeverUsed) {
    const struct {
        const char* folder;
        bool system;
    } rows[] = {
        {"/usr/bin", true},        {"/usr/local/bin", true}, {"/usr", true},
        {"/bin", true},            {"/opt/codekiln/bin", true},
        {"/usrx/bin", false},      {"/home/u/usr/bin", false}, {"/binaries", false},
        {"/home/u/codekiln/build/src/app", false}, {"/", false},
    };
    for (const auto& row : rows) EXPECT_EQ(isSystemProgramFolder(row.folder), row.system) << row.folder;
}

}  // namespace
}  // namespace codekiln
