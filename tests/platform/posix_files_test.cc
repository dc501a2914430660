// The run's file operations on names as bytes: messages that name the real
// reason, names escaped for messages, and which temporary files are ours.
#include "platform/posix_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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
