// The run's file operations on names as bytes: messages that name the real
// reason, names escaped for messages, and which temporary files are ours.
#include "platform/posix_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/file_names.h"
#include "support/temp_folder.h"

namespace codekiln {
namespace {

TEST(PosixFiles, SayWhyAFileCannotBeTaken) {
    testing::TempFolder dir;
    dir.write("sub/a.f90", "x\n");
    ASSERT_EQ(::mkfifo(dir.path("pipe.f90").c_str(), 0644), 0);
    const struct {
        std::string path;
        Why reason;
        std::string detail;  ///< the system's text
    } rows[] = {
        {dir.path("missing.f90"), Why::FileNotFound, ""},
        {dir.path("pipe.f90"), Why::NotRegularFile, ""},
        {dir.path("sub"), Why::NotRegularFile, ""},
        {dir.path(std::string(300, 'n') + ".f90"), Why::CannotRead, "File name too long"},
        {dir.path("sub/a.f90/x"), Why::CannotRead, "Not a directory"},
    };
    for (const auto& row : rows) {
        FileIdentity identity;
        std::string bytes;
        const Status stat = posixStatFile(row.path, identity);
        EXPECT_EQ(stat.code(), row.reason) << row.path;
        EXPECT_EQ(stat.reason.detail, row.detail) << row.path;
        EXPECT_EQ(stat.reason.path, row.path);
        // Reading says the same, except that a missing file cannot be opened;
        // a pipe must not keep it waiting for a writer.
        const Status read = posixReadFileOnce(row.path, bytes, identity);
        EXPECT_FALSE(read.ok) << row.path;
        if (row.reason != Why::FileNotFound) {
            EXPECT_EQ(read.code(), row.reason) << row.path;
            EXPECT_EQ(read.reason.detail, row.detail) << row.path;
        }
    }
}

TEST(FileNames, EscapesControlCharactersAndBytesThatAreNotUtf8) {
    const struct {
        std::string name;
        std::string shown;
    } rows[] = {
        {"程序 一.f90", "程序 一.f90"},
        {"a\nb\r.f90", "a\\x0Ab\\x0D.f90"},
        {"a\xFF.f90", "a\\xFF.f90"},
        {"\x1B[2J\x7F", "\\x1B[2J\\x7F"},
        {"cut \xE4\xB8", "cut \\xE4\\xB8"},                       // a sequence cut short
        {"\xC0\xAF \xED\xA0\x80", "\\xC0\\xAF \\xED\\xA0\\x80"},  // overlong form, surrogate
    };
    for (const auto& row : rows) {
        EXPECT_EQ(escapedName(row.name), row.shown);
        EXPECT_EQ(isUtf8Name(row.name),
                  row.name == row.shown || row.name == "a\nb\r.f90" || row.name == "\x1B[2J\x7F");
    }
}

TEST(PosixFiles, KnowsItsOwnTemporaryFiles) {
    const struct {
        const char* name;
        long owner;
    } rows[] = {
        {".codekiln-123-0.tmp", 123}, {".codekiln-7-42.tmp", 7}, {".codekiln-123.tmp", 0},
        {".codekiln-12x-1.tmp", 0},   {"codekiln-123-0.tmp", 0}, {".codekiln-123-0.tmp~", 0},
        {".codekiln.lock", 0},        {".codekiln--1.tmp", 0},
    };
    for (const auto& row : rows) EXPECT_EQ(temporaryOwner(row.name), row.owner) << row.name;
}

}  // namespace
}  // namespace codekiln

namespace codekiln {
namespace {

ino_t inodeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// A backup is a second name of the file only where the file is then
// replaced by a new inode; anywhere else it is a copy of the bytes read,
// and either way it holds exactly those bytes afterwards.
TEST(PosixFiles, BatchBackupsLinkOnlyWhereTheFileGetsANewInode) {
    const struct {
        const char* what;
        bool mayLink;
        mode_t mode;
        bool secondName;    ///< the file has another hard link
        bool changedAfter;  ///< written again between reading and backup
        bool plantedLink;   ///< a symbolic link stands at the backup's name
        bool linked;
    } rows[] = {
        {"plain", true, 0644, false, false, false, true},
        {"not to be replaced", false, 0644, false, false, false, false},
        {"two names", true, 0644, true, false, false, false},
        {"set-user-ID", true, 04755, false, false, false, false},
        {"read-only", true, 0444, false, false, false, false},
        {"changed since read", true, 0644, false, true, false, false},
        {"link planted at the backup's name", true, 0644, false, false, true, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        testing::TempFolder dir;
        dir.write("src/a.f90", "old text\n");
        dir.write("slot/keep.txt", "kept\n");
        ::chmod(dir.path("src/a.f90").c_str(), row.mode);
        if (row.secondName) ::link(dir.path("src/a.f90").c_str(), dir.path("src/b.f90").c_str());
        if (row.plantedLink) ::symlink(dir.path("slot/keep.txt").c_str(), dir.path("slot/a.f90").c_str());
        std::string bytes;
        FileIdentity read;
        ASSERT_TRUE(posixReadFileOnce(dir.path("src/a.f90"), bytes, read));
        if (row.changedAfter) {
            ::chmod(dir.path("src/a.f90").c_str(), 0644);
            dir.write("src/a.f90", "another program's text\n");
        }
        std::vector<BatchBackup> batch(1);
        batch[0].to = dir.path("slot/a.f90");
        batch[0].of = dir.path("src/a.f90");
        batch[0].bytes = &bytes;
        batch[0].read = read;
        batch[0].mayLink = row.mayLink;
        posixWriteBackups(batch);
        ASSERT_TRUE(batch[0].status) << batch[0].status.reason.detail;
        EXPECT_EQ(batch[0].linked, row.linked);
        EXPECT_EQ(inodeOf(dir.path("slot/a.f90")) == inodeOf(dir.path("src/a.f90")), row.linked);
        EXPECT_EQ(dir.read("slot/a.f90"), "old text\n");
        EXPECT_EQ(dir.read("slot/keep.txt"), "kept\n");
        struct stat st {};
        ::lstat(dir.path("slot/a.f90").c_str(), &st);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        if (!row.linked) {
            EXPECT_EQ(st.st_mode & 07777, row.mode & 0777);
        }
        if (!row.linked) continue;

        // Replaced, the file and its backup are two files with one name each.
        const std::string fresh = "new text\n";
        std::vector<BatchReplacement> replace(1);
        replace[0].path = dir.path("src/a.f90");
        replace[0].bytes = &fresh;
        replace[0].read = read;
        posixReplaceFiles(replace);
        ASSERT_TRUE(replace[0].status);
        EXPECT_EQ(dir.read("src/a.f90"), fresh);
        EXPECT_EQ(dir.read("slot/a.f90"), "old text\n");
        ::lstat(dir.path("slot/a.f90").c_str(), &st);
        EXPECT_EQ(st.st_nlink, 1u);
    }
}

// One file of a batch that cannot be replaced fails alone: the others are
// replaced, it keeps its bytes, and no temporary file is left.
TEST(PosixFiles, BatchReplacementsFailOneByOne) {
    testing::TempFolder dir;
    const std::vector<std::string> names = {"a.f90", "b.f90", "c.f90", "d.f90"};
    for (const std::string& n : names) dir.write("src/" + n, "old " + n + "\n");
    ::chmod(dir.path("src/d.f90").c_str(), 0444);
    std::vector<std::string> fresh;
    std::vector<BatchReplacement> batch(names.size());
    for (std::size_t k = 0; k < names.size(); ++k) fresh.push_back("new " + names[k] + "\n");
    for (std::size_t k = 0; k < names.size(); ++k) {
        std::string bytes;
        batch[k].path = dir.path("src/" + names[k]);
        batch[k].bytes = &fresh[k];
        ASSERT_TRUE(posixReadFileOnce(batch[k].path, bytes, batch[k].read));
    }
    dir.write("src/b.f90", "saved meanwhile\n");  // another program's save
    posixReplaceFiles(batch);
    EXPECT_TRUE(batch[0].status);
    EXPECT_EQ(batch[1].status.code(), Why::ChangedDuringFormatting);
    EXPECT_TRUE(batch[2].status);
    EXPECT_EQ(batch[3].status.code(), Why::ReadOnly);
    EXPECT_EQ(dir.read("src/a.f90"), fresh[0]);
    EXPECT_EQ(dir.read("src/b.f90"), "saved meanwhile\n");
    EXPECT_EQ(dir.read("src/c.f90"), fresh[2]);
    EXPECT_EQ(dir.read("src/d.f90"), "old d.f90\n");
    std::vector<std::string> left;
    ASSERT_TRUE(posixFolderNames(dir.path("src"), left));
    EXPECT_EQ(left.size(), names.size());
}

}  // namespace
}  // namespace codekiln
