// Roots and trailing separators in both path styles, so that Windows paths
// are checked on every system.
#include "platform/paths.h"

#include <gtest/gtest.h>

namespace codekiln {
namespace {

constexpr PathStyle kWin = PathStyle::Windows;
constexpr PathStyle kPosix = PathStyle::Posix;

TEST(Paths, RootsKeepTheirSeparator) {
    const struct {
        PathStyle style;
        std::string path;
        std::string trimmed;
    } cases[] = {
        {kWin, "C:\\", "C:\\"},
        {kWin, "c:/", "c:/"},
        {kWin, "C:\\\\", "C:\\"},
        {kWin, "D:\\src\\", "D:\\src"},
        {kWin, "D:\\我的 程序\\\\", "D:\\我的 程序"},
        {kWin, "C:", "C:"},  // the drive's current folder
        {kWin, "\\", "\\"},
        {kWin, "\\\\server\\share\\", "\\\\server\\share\\"},
        {kWin, "\\\\server\\share\\dir\\", "\\\\server\\share\\dir"},
        {kWin, "src\\", "src"},
        {kPosix, "/", "/"},
        {kPosix, "//", "/"},
        {kPosix, "/home/a b/", "/home/a b"},
        {kPosix, "C:\\", "C:\\"},  // a plain name on Linux
        {kPosix, "a\\", "a\\"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(withoutTrailingSeparators(c.path, c.style), c.trimmed) << c.path;
    }
}

TEST(Paths, FileNameIsAfterTheLastSeparator) {
    const struct {
        PathStyle style;
        std::string path;
        std::string name;
    } cases[] = {
        {kWin, "C:\\\\a.f90", "a.f90"},  // a root joined with one more separator
        {kWin, "D:\\src/程序 一.f90", "程序 一.f90"},
        {kWin, "a.f90", "a.f90"},
        {kPosix, "/src/x\\y.f90", "x\\y.f90"},
    };
    for (const auto& c : cases) EXPECT_EQ(baseNameOf(c.path, c.style), c.name) << c.path;
}

}  // namespace
}  // namespace codekiln
