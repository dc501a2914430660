// The exclude patterns: where "*" stops, what "**" spans, and names against
// whole paths.
#include "cli/path_glob.h"

#include <gtest/gtest.h>

namespace codekiln {
namespace {

TEST(GlobMatches, FollowsFolderBoundaries) {
    const struct {
        const char* pattern;
        const char* path;
        bool matches;
    } cases[] = {
        {"*.f90", "a.f90", true},
        {"*.f90", "sub/deep/a.f90", true},  // no "/": the name at any depth
        {"*.f90", "a.f900", false},
        {"gen_?.f90", "x/gen_1.f90", true},
        {"gen_?.f90", "gen_12.f90", false},
        {"sub/*.f90", "sub/a.f90", true},
        {"sub/*.f90", "sub/deep/a.f90", false},  // "*" stays within one name
        {"sub/*.f90", "other/sub/a.f90", false},
        {"sub/**", "sub/deep/a.f90", true},
        {"**/gen/*.f90", "gen/a.f90", true},  // "**/" may stand for nothing
        {"**/gen/*.f90", "x/y/gen/a.f90", true},
        {"./vendor/*", "vendor/lib", true},
        {"vendor", "vendor", true},
        {"vendor", "vendor2", false},
#ifdef _WIN32
        {"Sub/*", "sub/a.f90", true},  // letter case as the system treats it
        {"sub\\*.F90", "sub/a.f90", true},
#else
        {"Sub/*", "sub/a.f90", false},  // case matters
#endif
        {"a?b", "a/b", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(globMatches(c.pattern, c.path), c.matches) << c.pattern << " " << c.path;
}

}  // namespace
}  // namespace codekiln
