// The path rules in both path styles, so that Windows paths are checked on
// every system.
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

TEST(Paths, AbsoluteAndParent) {
    const struct {
        PathStyle style;
        std::string path;
        bool absolute;
        std::string parent;
    } cases[] = {
        {kWin, "C:\\src\\a.f90", true, "C:\\src"},
        {kWin, "c:/a.f90", true, "c:/"},
        {kWin, "C:\\\\a.f90", true, "C:\\"},  // a root joined with one more separator
        {kWin, "C:a.f90", false, "C:"},       // relative to drive C's current folder
        {kWin, "\\src\\a.f90", true, "\\src"},
        {kWin, "\\\\server\\share\\a.f90", true, "\\\\server\\share\\"},
        {kWin, "src\\sub\\\\a.f90", false, "src\\sub"},
        {kWin, "a.f90", false, "."},
        {kPosix, "/src/a.f90", true, "/src"},
        {kPosix, "//a.f90", true, "/"},
        {kPosix, "/", true, "/"},
        {kPosix, "src/a.f90", false, "src"},
        {kPosix, "C:\\a.f90", false, "."},  // a plain name on Linux
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isAbsolutePath(c.path, c.style), c.absolute) << c.path;
        EXPECT_EQ(parentOf(c.path, c.style), c.parent) << c.path;
    }
    EXPECT_EQ(joinPath("C:\\", "a.f90", kWin), "C:\\\\a.f90");
    EXPECT_EQ(joinPath("/src", "a.f90", kPosix), "/src/a.f90");
}

TEST(Paths, SameOrBelow) {
    const struct {
        PathStyle style;
        std::string inner;
        std::string outer;
        bool below;
    } cases[] = {
        {kWin, "C:/SRC/a.f90", "c:\\src", true},  // no letter case, either separator
        {kWin, "C:/src", "C:/src", true},
        {kWin, "C:/srcx/a.f90", "C:/src", false},
        {kWin, "C:/src", "C:/src/sub", false},
        {kWin, "C:/a.f90", "C:/", true},
        {kWin, "D:/src", "C:/src", false},
        {kWin, "C:/Ä/a", "C:/ä", false},  // only ASCII letters fold
        {kWin, "C:/src/a", "", false},
        {kPosix, "/SRC/a.f90", "/src", false},
        {kPosix, "/src\\a.f90", "/src", false},
        {kPosix, "/src/a.f90", "/src", true},
        {kPosix, "/src/a.f90", "/src/", true},
        {kPosix, "/a.f90", "/", true},
        {kPosix, "/srcx", "/src", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isSameOrBelow(c.inner, c.outer, c.style), c.below) << c.inner << " in " << c.outer;
    }
    EXPECT_TRUE(isSamePath("C:/Src", "c:\\src", kWin));
    EXPECT_FALSE(isSamePath("/src/a", "/src", kPosix));
}

}  // namespace
}  // namespace codekiln
