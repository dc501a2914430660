// The modern layout's line check: outputs that move only leading blanks (or
// drop trailing ones) pass; any other change is refused.
#include "run/modern_check.h"

#include <gtest/gtest.h>

#include "run/reason_text.h"

namespace codekiln {
namespace {

struct Case {
    const char* what;
    SourceForm form;
    const char* before;
    const char* after;
    bool accepted;
};

TEST(ModernCheck, AcceptsReindentingOnlyAndRefusesEverythingElse) {
    const Case cases[] = {
        {"reindented, LF", SourceForm::Free, "do i=1,2\nx=1\nend do\n", "do i=1,2\n    x=1\nend do\n", true},
        {"tab lead and trailing blanks", SourceForm::Free, "\tx = 1 \t\r\n", "  x = 1\r\n", true},
        {"mixed ends kept", SourceForm::Free, "a\r\n b\nc", "a\r\nb\nc", true},
        {"blank line emptied", SourceForm::Free, "   \n", "\n", true},
        {"CR-only file", SourceForm::Free, "a\r b\r", "a\rb\r", true},
        {"LF became CR LF", SourceForm::Free, "a\n", "a\r\n", false},
        {"CR LF became LF", SourceForm::Free, "a\r\n", "a\n", false},
        {"last line end added", SourceForm::Free, "a", "a\n", false},
        {"line dropped", SourceForm::Free, "a\n\nb\n", "a\nb\n", false},
        {"last blank line without an end emptied", SourceForm::Free, "a\n \t", "a\n", true},
        {"last line without an end dropped", SourceForm::Free, "a\nb", "a\n", false},
        {"fixed: last blank line without an end emptied", SourceForm::Fixed, "      x = 1\r\n   ", "      x = 1\r\n", true},
        {"inner blanks collapsed", SourceForm::Free, "use x,   only: y\n", "use x, only: y\n", false},
        {"case changed", SourceForm::Free, "END DO\n", "end do\n", false},
        {"trailing blanks kept in free form", SourceForm::Free, "x \n", "x \n", true},
        {"trailing blank added", SourceForm::Free, "x\n", "x \n", false},
        {"tab in new indentation", SourceForm::Free, "x\n", "\tx\n", false},
        {"blank line filled", SourceForm::Free, "\n", "    \n", false},
        {"banner added", SourceForm::Free, "x\n", "! ****\nx\n", false},
        {"fixed: statement field moved", SourceForm::Fixed, "      x = 1\n", "         x = 1\n", true},
        {"fixed: trailing blanks kept", SourceForm::Fixed, "      x = 'a  \n", "         x = 'a  \n", true},
        {"fixed: label kept", SourceForm::Fixed, "10    continue\n", "10       continue\n", true},
        {"fixed: label moved", SourceForm::Fixed, "10    continue\n", " 10   continue\n", false},
        {"fixed: continuation mark moved", SourceForm::Fixed, "     &x\n", "      &x\n", false},
        {"fixed: TAB form kept", SourceForm::Fixed, "\tx = 1\n", "\t   x = 1\n", true},
        {"fixed: comment line moved", SourceForm::Fixed, "C hello\n", "   C hello\n", false},
        {"fixed: comment line kept", SourceForm::Fixed, "C hello  \n", "C hello  \n", true},
    };
    for (const Case& c : cases) {
        const Status kept = checkModernLines(c.before, c.after, c.form);
        EXPECT_EQ(kept.ok, c.accepted) << c.what << ": " << englishText(kept);
    }
}

}  // namespace
}  // namespace codekiln
