// --diff's text: hunks with three lines of context, hunks kept apart or
// joined, line ends spelt out only where they alone differ, and a last line
// without its end.
#include "cli/unified_diff.h"

#include <gtest/gtest.h>

namespace codekiln {
namespace {

std::string numbered(int from, int to, const std::string& end = "\n") {
    std::string text;
    for (int i = from; i <= to; ++i) text += "l" + std::to_string(i) + end;
    return text;
}

TEST(UnifiedDiff, GroupsChangesIntoHunks) {
    const struct {
        const char* label;
        std::string before, after, diff;
    } cases[] = {
        {"same", numbered(1, 5), numbered(1, 5), ""},
        {"one change, three lines of context", numbered(1, 10), numbered(1, 4) + "X\n" + numbered(6, 10),
         "--- f\n+++ f\n@@ -2,7 +2,7 @@\n l2\n l3\n l4\n-l5\n+X\n l6\n l7\n l8\n"},
        {"far apart: two hunks", numbered(1, 20), "X\n" + numbered(2, 19) + "Y\n",
         "--- f\n+++ f\n@@ -1,4 +1,4 @@\n-l1\n+X\n l2\n l3\n l4\n"
         "@@ -17,4 +17,4 @@\n l17\n l18\n l19\n-l20\n+Y\n"},
        {"six lines apart: one hunk", numbered(1, 8), "X\n" + numbered(2, 7) + "Y\n",
         "--- f\n+++ f\n@@ -1,8 +1,8 @@\n-l1\n+X\n l2\n l3\n l4\n l5\n l6\n l7\n-l8\n+Y\n"},
        {"removed lines before added ones, whichever side is longer", "s\nx\ne\n", "h1\nh2\ns\nX\ne\n",
         "--- f\n+++ f\n@@ -1,3 +1,5 @@\n+h1\n+h2\n s\n-x\n+X\n e\n"},
        {"insertion into an empty file", "", "a\n", "--- f\n+++ f\n@@ -0,0 +1,1 @@\n+a\n"},
        {"line ends alone", "a\nb\n", "a\r\nb\n", "--- f\n+++ f\n@@ -1,2 +1,2 @@\n-a␊\n+a␍␊\n b\n"},
        {"no end on the last line", "a\nb", "a\nc\n",
         "--- f\n+++ f\n@@ -1,2 +1,2 @@\n a\n-b\n\\ No newline at end of file\n+c\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(unifiedDiff(c.before, c.after, "f", false), c.diff) << c.label;
}

TEST(UnifiedDiff, ColoursOnlyWhenAsked) {
    const std::string coloured = unifiedDiff("a\n", "b\n", "f", true);
    EXPECT_NE(coloured.find("\x1b[31m-a\x1b[0m\n"), std::string::npos) << coloured;
    EXPECT_NE(coloured.find("\x1b[32m+b\x1b[0m\n"), std::string::npos) << coloured;
    EXPECT_EQ(unifiedDiff("a\n", "b\n", "f", false).find('\x1b'), std::string::npos);
}

}  // namespace
}  // namespace codekiln
