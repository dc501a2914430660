// The header banner and the separator banner: their exact lines and widths,
// the count's padding, and how the look-ahead finds the next unit's name and
// arguments.
#include "engine/format/banners.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "banner_shapes.h"

namespace codekiln {
namespace {

using namespace codekiln::testing;
using Args = std::optional<std::vector<std::string>>;

TEST(HeaderBanner, LinesAndWidths) {
    const std::vector<std::string> expected = {
        headerRule(), headerRule(), headerTitle(), headerCountLine("000010"), headerRule(), headerRule()};
    const std::vector<std::string> lines = banner::headerLines(10);
    EXPECT_EQ(lines, expected);
    const std::vector<int> widths = {100, 100, 93, 99, 100, 100};
    ASSERT_EQ(lines.size(), widths.size());
    for (std::size_t k = 0; k < lines.size(); ++k) EXPECT_EQ(chars(lines[k]), widths[k]) << "line " << k + 1;
}

TEST(HeaderBanner, CountIsPaddedToSixDigitsAndNeverCut) {
    const struct {
        std::int64_t lineCount;
        std::string shown;
    } rows[] = {
        {0, "000000"},     {7, "000007"},     {10, "000010"},     {123, "000123"},
        {32767, "032767"}, {40000, "040000"}, {999999, "999999"}, {1234567, "1234567"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(banner::headerCount(r.lineCount), r.shown);
        EXPECT_EQ(banner::headerLines(r.lineCount).at(3), headerCountLine(r.shown));
    }
}

TEST(SeparatorBanner, LineWidthRule) {
    const struct {
        std::string text;
        int blanksBeforeEnd;
    } rows[] = {
        {"", 73},
        {titlePrefix() + "foo", 29},
        {argumentPrefix() + "a", 31},
        {argumentPrefix() + " b", 30},
        {titlePrefix() + "计算", 30},  // characters, not bytes
        {std::string(72, 'x'), 1},
        {std::string(73, 'x'), 1},
        {std::string(90, 'x'), 1},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(banner::bannerLine(r.text), r.text + blanks(r.blanksBeforeEnd) + lineEnd()) << r.text;
    }
}

// After a unit ends, SUBROUTINE Foo(a, b) follows: a five-line banner.
TEST(SeparatorBanner, FiveLinesForSubroutineFoo) {
    StoredLines stored;
    for (const char* line : {"end", "SUBROUTINE Foo(a, b)", "x = a", "end"}) stored.add(line, false);
    banner::UnitHeading heading;
    banner::lookAhead(stored, 0, heading);
    const std::vector<std::string> expected = {
        separatorRule(),
        titlePrefix() + "foo" + blanks(29) + lineEnd(),
        argumentPrefix() + "a" + blanks(31) + lineEnd(),
        argumentPrefix() + " b" + blanks(30) + lineEnd(),
        separatorRule(),
    };
    const std::vector<std::string> lines = banner::separatorLines(heading);
    EXPECT_EQ(lines, expected);
    const std::vector<int> widths = {94, 92, 92, 92, 94};
    for (std::size_t k = 0; k < lines.size() && k < widths.size(); ++k) EXPECT_EQ(chars(lines[k]), widths[k]);
}

TEST(SeparatorBanner, LookAheadFindsNameAndArguments) {
    const std::string old = titlePrefix() + "old";
    const struct {
        std::vector<std::string> lines;
        std::size_t i;  // the line that ended the unit (0-based)
        banner::UnitHeading before;
        std::string title;
        Args args;
    } rows[] = {
        {{"end", "FUNCTION f(x) RESULT(y)", "end"}, 0, {}, titlePrefix() + "f", Args{{"x result"}}},
        {{"end", "REAL FUNCTION area(r)", "end"}, 0, {}, titlePrefix() + "area", Args{{"r"}}},
        {{"end", "SUBROUTINE s()", "end"}, 0, {}, titlePrefix() + "s", Args{std::vector<std::string>{}}},
        {{"end", "PROGRAM main", "x = sqrt(y)", "end"}, 0, {}, titlePrefix() + "sqrt", Args{{"y"}}},
        {{"end", "COMPLEX FUNCTION cf(z)", "! note(x)", "c note(x)", "", "subroutine t(q)", "end"},
         0,
         {},
         titlePrefix() + "t",
         Args{{"q"}}},
        {{"end", "SUBROUTINE s(a, &", "b)", "end"}, 0, {}, titlePrefix() + "s", Args{{"a", " &"}}},
        {{"end", "subroutine foo (a)", "end"}, 0, {}, titlePrefix() + "foo", Args{{"a"}}},
        {{"end", "x = y(1) + z(2)", "end"}, 0, {}, titlePrefix() + "y", Args{{"1 + z"}}},
        // A text that begins with "(": the title stays, the arguments change.
        {{"end", "(a, b) = 1", "end"}, 0, {old, std::nullopt}, old, Args{{"a", " b = 1"}}},
        // The last stored line is never examined.
        {{"end", "subroutine last(q)"}, 0, {old, Args{{"p"}}}, old, Args{{"p"}}},
        {{"x", "end", "y", "subroutine s(q)"}, 1, {}, "", std::nullopt},
        // Lower-casing touches ASCII letters only.
        {{"end", "SUBROUTINE \xC3\x84NDERN(\xC3\x9C)", "end"},
         0,
         {},
         titlePrefix() + "\xC3\x84ndern",
         Args{{"\xC3\x9C"}}},
        {{"end", "subroutine 计算(甲, 乙)", "end"}, 0, {}, titlePrefix() + "计算", Args{{"甲", " 乙"}}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE("line after the unit: '" + r.lines[r.i + 1] + "'");
        StoredLines stored;
        for (const std::string& line : r.lines) stored.add(line, false);
        banner::UnitHeading heading = r.before;
        banner::lookAhead(stored, r.i, heading);
        EXPECT_EQ(heading.unitTitle, r.title);
        EXPECT_EQ(heading.unitArguments, r.args);
    }
}

TEST(SeparatorBanner, NoArgumentLinesForNoOrEmptyList) {
    const std::vector<std::string> empty = {separatorRule(), blanks(73) + lineEnd(), separatorRule()};
    EXPECT_EQ(banner::separatorLines({}), empty);
    const std::vector<std::string> named = {separatorRule(), bannerLine(titlePrefix() + "s"),
                                            separatorRule()};
    EXPECT_EQ(banner::separatorLines({titlePrefix() + "s", std::vector<std::string>{}}), named);
    const std::string longTitle = titlePrefix() + std::string(40, 'n');
    EXPECT_EQ(banner::separatorLines({longTitle, std::nullopt}).at(1), longTitle + " " + lineEnd());
}

}  // namespace
}  // namespace codekiln
