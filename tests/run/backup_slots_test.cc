// The backup slots: the rotation, and which files lie in a backup folder, in
// both path styles so that the Windows rule is checked on every system.
#include "run/backup_slots.h"

#include <gtest/gtest.h>

namespace codekiln {
namespace {

TEST(BackupSlots, NextSlotWrapsAfterTheLast) {
    const struct {
        int current;
        int next;
    } cases[] = {{0, 1}, {1, 2}, {4, 5}, {5, 1}, {6, 1}, {-1, 1}};
    for (const auto& c : cases) EXPECT_EQ(nextBackupSlot(c.current), c.next) << c.current;
}

TEST(BackupSlots, InsideABackupFolder) {
    constexpr PathStyle kWin = PathStyle::Windows;
    constexpr PathStyle kPosix = PathStyle::Posix;
    const struct {
        PathStyle style;
        std::string file;
        std::string root;
        bool inside;
    } cases[] = {
        {kPosix, "/prog/备份1/a.f90", "/prog", true},
        {kPosix, "/prog/备份5/sub/a.f90", "/prog/", true},
        {kPosix, "/备份3/a.f90", "/", true},
        {kPosix, "/prog/备份6/a.f90", "/prog", false},
        {kPosix, "/prog/备份10/a.f90", "/prog", false},
        {kPosix, "/prog/a.f90", "/prog", false},
        {kPosix, "/prog/src/备份1/a.f90", "/prog", false},  // only directly in the root
        {kPosix, "/Prog/备份1/a.f90", "/prog", false},
        {kPosix, "/prog/备份1/a.f90", "", false},
        {kWin, "C:/Prog/备份2/a.f90", "c:\\prog", true},  // Windows tells no letter case apart
        {kWin, "C:\\prog\\备份2\\a.f90", "C:/prog", true},
        {kWin, "C:/备份4/a.f90", "C:/", true},
        {kWin, "C:/program/备份1/a.f90", "C:/prog", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isInsideBackupFolder(c.file, c.root, c.style), c.inside) << c.file << " in " << c.root;
    }
}

}  // namespace
}  // namespace codekiln
