// Applying only the changes on a range of lines: what lies outside the range
// comes back byte for byte, re-indented blocks can be taken a line at a time,
// and lines inserted at the range's edges (banners) stay out.
#include "cli/line_edits.h"

#include <gtest/gtest.h>

namespace codekiln {
namespace {

TEST(LineEdits, AppliesOnlyChangesInsideTheRange) {
    const std::string before = "a\nb\nc\nd\n";
    const std::string indented = "a\n  b\n  c\nd\n";
    const struct {
        const char* label;
        std::string before, after;
        std::size_t first, last;
        std::string result;
    } cases[] = {
        {"one line of a re-indented block", before, indented, 3, 3, "a\nb\n  c\nd\n"},
        {"the whole block", before, indented, 1, 4, indented},
        {"a range with no change", before, indented, 4, 4, before},
        {"line ends and case alone pair lines", "A\nB\n", "a\r\nb\r\n", 2, 2, "A\nb\r\n"},
        {"banner before the range's first line stays out", before, "!*\n" + before, 1, 4, before},
        {"banner after the range's last line stays out", before, before + "!*\n", 1, 4, before},
        {"lines inserted inside the range go in", before, "a\nb\n!*\nc\nd\n", 2, 3, "a\nb\n!*\nc\nd\n"},
        {"a removal partly outside the range stays out", "a\nx\ny\nd\n", "a\nz\nd\n", 2, 2, "a\nx\ny\nd\n"},
        {"a removal wholly inside goes in", "a\nx\ny\nd\n", "a\nz\nd\n", 2, 3, "a\nz\nd\n"},
        {"a last line without its end", "a\nb", "a\n  b\n", 2, 2, "a\n  b\n"},
        {"a range beyond the end", before, indented, 9, 12, before},
    };
    for (const auto& c : cases)
        EXPECT_EQ(applyInRange(c.before, c.after, c.first, c.last), c.result) << c.label;
}

}  // namespace
}  // namespace codekiln
