// The output writer on small whole files: the column each line is written
// at (openers before the change, other lines after it, else and case lines,
// else-if openers, labelled DO loops closed at their label, the 132-column
// limit, preprocessor lines, continued constants), blank lines, the header
// and the separator banners between program units.
#include "engine/format/output_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "banner_shapes.h"
#include "format_lines.h"

namespace codekiln {
namespace {

using namespace codekiln::testing;
using Lines = std::vector<std::string>;

FormatOptions makeOptions(bool indentElse, bool showSeparators, bool removeBlankLines = false) {
    FormatOptions o;
    o.indentElse = indentElse;
    o.showSeparators = showSeparators;
    o.removeBlankLines = removeBlankLines;
    return o;
}

/// The formatted lines after the six header lines.
Lines body(const Lines& raw, const FormatOptions& options) {
    DoLabelRecord state;
    const Lines out = formatLines(raw, options, state);
    if (out.size() < 6) {
        ADD_FAILURE() << "no header banner";
        return out;
    }
    return Lines(out.begin() + 6, out.end());
}

std::string ind(int n, const std::string& text) { return std::string(n, ' ') + text; }

const Lines kTenLines = {"program main", "integer i",  "do i = 1, 3", "if (i > 1) then", "print *, i",
                         "else",         "print *, 0", "end if",      "end do",          "end program main"};

TEST(OutputWriter, TenLineExample) {
    const std::vector<int> withElse = {0, 4, 4, 8, 12, 8, 12, 8, 4, 0};
    const struct {
        FormatOptions options;
        int elseBlanks;
    } rows[] = {
        {makeOptions(true, false), 8},
        {makeOptions(false, false), 12},
        {makeOptions(true, true), 8},  // the last line ends a unit: no banner follows it
    };
    for (const auto& r : rows) {
        DoLabelRecord state;
        const Lines out = formatLines(kTenLines, r.options, state);
        ASSERT_EQ(out.size(), 16u);
        EXPECT_EQ(out[3], headerCountLine("000010"));
        EXPECT_EQ(formatFile({kTenLines.begin(), kTenLines.end()}, r.options, state).lineCount, 10);
        for (std::size_t k = 0; k < kTenLines.size(); ++k) {
            const int n = kTenLines[k] == "else" ? r.elseBlanks : withElse[k];
            EXPECT_EQ(out[6 + k], ind(n, kTenLines[k]));
        }
    }
}

TEST(OutputWriter, ColumnsOfEachLine) {
    const std::string stmt125 = "x = " + std::string(121, '1');
    const std::string stmt120 = "y = " + std::string(116, '1');
    const std::string line165 = "z = " + std::string(161, '1');
    const std::string chinese120 = "! " + [] {
        std::string s;
        for (int k = 0; k < 118; ++k) s += "中";
        return s;
    }();

    const struct {
        std::string what;
        FormatOptions options;
        Lines raw;
        Lines expected;
    } rows[] = {
        {"case lines move back with indentElse",
         makeOptions(true, false),
         {"program p", "select case (k)", "case (1)", "x = 1", "case default", "case(2)", "end select",
          "end program p"},
         {"program p", ind(4, "select case (k)"), ind(4, "case (1)"), ind(8, "x = 1"), ind(4, "case default"),
          ind(8, "case(2)"), ind(4, "end select"), "end program p"}},
        {"case lines stay without indentElse",
         makeOptions(false, false),
         {"program p", "select case (k)", "case (1)", "x = 1", "end select", "end program p"},
         {"program p", ind(4, "select case (k)"), ind(8, "case (1)"), ind(8, "x = 1"), ind(4, "end select"),
          "end program p"}},
        {"else-if openers move back whatever indentElse says",
         makeOptions(false, false),
         {"program p", "if (a) then", "x = 1", "else if (b) then", "x = 2", "elseif (c) then", "x = 3",
          "else", "x = 4", "end if", "end program p"},
         {"program p", ind(4, "if (a) then"), ind(8, "x = 1"), ind(4, "else if (b) then"), ind(8, "x = 2"),
          ind(4, "elseif (c) then"), ind(8, "x = 3"), ind(8, "else"), ind(8, "x = 4"), ind(4, "end if"),
          "end program p"}},
        {"an opener holding the letters else and then",
         makeOptions(true, false),
         {"program p", "if (a) then", "if (welsex) then", "y = 1", "end if", "end if", "end program p"},
         {"program p", ind(4, "if (a) then"), ind(4, "if (welsex) then"), ind(8, "y = 1"), ind(4, "end if"),
          "end if", "end program p"}},
        {"an else-if opener at the start is left unindented",
         makeOptions(true, false),
         {"ELSE IF (X) THEN", "y = 1", "else", "end if"},
         {"ELSE IF (X) THEN", "y = 1", "else", "end if"}},
        {"comments stand at the current level",
         makeOptions(true, false),
         {"program p", "if (a) then", "! plain note", "! else branch next", "! else", "c else too", "end if",
          "end program p"},
         {"program p", ind(4, "if (a) then"), ind(8, "! plain note"), ind(4, "! else branch next"),
          ind(8, "! else"), ind(4, "c else too"), ind(4, "end if"), "end program p"}},
        {"a blank line in a block is its indentation",
         makeOptions(true, false),
         {"program p", "if (x) then", "", "end if", "end program p"},
         {"program p", ind(4, "if (x) then"), ind(8, ""), ind(4, "end if"), "end program p"}},
        {"blank lines removed on request",
         makeOptions(true, false, true),
         {"program p", "", "x = 1", "   ", "end program p"},
         {"program p", ind(4, "x = 1"), "end program p"}},
        {"letter case kept",
         makeOptions(true, false),
         {"PROGRAM Main", "Print *, 'Hi'", "END PROGRAM Main"},
         {"PROGRAM Main", ind(4, "Print *, 'Hi'"), "END PROGRAM Main"}},
        {"a labelled DO closes at its label",
         makeOptions(true, false),
         {"program p", "do 10 i = 1, n", "x = i", "10 continue", "end program p"},
         {"program p", ind(4, "do 10 i = 1, n"), ind(8, "x = i"), ind(4, "10 continue"), "end program p"}},
        {"two loops sharing a label close together",
         makeOptions(true, false),
         {"program p", "do 10 i = 1, n", "do 10 j = 1, n", "x = i", "10 continue", "end program p"},
         {"program p", ind(4, "do 10 i = 1, n"), ind(8, "do 10 j = 1, n"), ind(12, "x = i"),
          ind(4, "10 continue"), "end program p"}},
        {"a labelled END DO steps back twice",
         makeOptions(true, false),
         {"program p", "do 10 i = 1, n", "x = i", "10 end do", "y = 1", "end program p"},
         {"program p", ind(4, "do 10 i = 1, n"), ind(8, "x = i"), "10 end do", "y = 1", "end program p"}},
        {"long lines end at column 132",
         makeOptions(true, false),
         {"program p", "do i = 1, n", "if (x) then", stmt125, stmt120, chinese120, line165, "end if",
          "end do", "end program p"},
         {"program p", ind(4, "do i = 1, n"), ind(8, "if (x) then"), ind(7, stmt125), ind(12, stmt120),
          ind(12, chinese120), line165, ind(8, "end if"), ind(4, "end do"), "end program p"}},
        {"preprocessor lines stay in column 1",
         makeOptions(true, false),
         {"program p", "do i = 1, n", "#ifdef DEBUG", "print *, i", "  #endif", "end do", "end program p"},
         {"program p", ind(4, "do i = 1, n"), "#ifdef DEBUG", ind(8, "print *, i"), "#endif",
          ind(4, "end do"), "end program p"}},
        {"continued constants",
         makeOptions(true, false),
         {"program p", "s = 'abc    &", "        def    ghi'", "t = 'abc &", "    &def    ghi'",
          "end program p"},
         {"program p", ind(4, "s = 'abc    &"), "        def    ghi'", ind(4, "t = 'abc &"),
          ind(4, "&def    ghi'"), "end program p"}},
        {"a verbatim line is still classified",
         makeOptions(true, false),
         {"program p", "s = 'x &", "  then y'", "z = 1", "end program p"},
         {"program p", ind(4, "s = 'x &"), "  then y'", ind(8, "z = 1"), "end program p"}},
        {"boxed comments and trailing comments survive",
         makeOptions(true, false),
         {"program p", "! * boxed *", "x = 1 ! * note", "end program p"},
         {"program p", ind(4, "! * boxed *"), ind(4, "x = 1 ! * note"), "end program p"}},
        {"four blanks collapse outside constants only",
         makeOptions(true, false),
         {"x    =    'a    b'    //    y"},
         {"x = 'a    b' // y"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(body(r.raw, r.options), r.expected);
    }
}

TEST(OutputWriter, SeparatorBannersBetweenUnits) {
    const struct {
        std::string what;
        Lines raw;
        Lines expected;
    } rows[] = {
        {"names the next unit",
         {"subroutine a(x)", "x = 1", "end subroutine a", "SUBROUTINE B(y, z)", "y = 2", "end subroutine b"},
         {"subroutine a(x)", ind(4, "x = 1"), "end subroutine a", separatorRule(),
          bannerLine(titlePrefix() + "b"), bannerLine(argumentPrefix() + "y"),
          bannerLine(argumentPrefix() + " z"), separatorRule(), "SUBROUTINE B(y, z)", ind(4, "y = 2"),
          "end subroutine b"}},
        {"the last line is never examined",
         {"subroutine a", "end subroutine a", "subroutine b(q)"},
         {"subroutine a", "end subroutine a", separatorRule(), blanks(73) + lineEnd(), separatorRule(),
          "subroutine b(q)"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(body(r.raw, makeOptions(true, true)), r.expected);
    }
}

TEST(OutputWriter, HeaderOfEmptyAndHugeFiles) {
    const struct {
        std::int64_t lineCount;
        std::string shown;
    } rows[] = {{0, "000000"}, {7, "000007"}, {1234567, "1234567"}};
    for (const auto& r : rows) {
        DoLabelRecord state;
        std::string out;
        writeOutput(StoredLines{}, r.lineCount, FormatOptions{}, state, out, "\n");
        const std::string rule = headerRule() + "\n";
        EXPECT_EQ(out, rule + rule + headerTitle() + "\n" + headerCountLine(r.shown) + "\n" + rule + rule);
    }
    DoLabelRecord state;
    EXPECT_EQ(formatLines({}, FormatOptions{}, state).size(), 6u);
    EXPECT_EQ(formatLines({"", "   ", headerRule()}, makeOptions(true, true, true), state).size(), 6u);
}

TEST(OutputWriter, HeaderCountsCodeLinesBeforeAnythingIsDropped) {
    DoLabelRecord state;
    const Lines raw = {"! comment", "", "x = 1", "\tif (a) then", "  ! note", "end if", "\t\t",
                       "y = 1 ! * kept", headerRule()};
    const Lines out = formatLines(raw, makeOptions(true, true, true), state);
    ASSERT_GE(out.size(), 6u);
    EXPECT_EQ(out[3], headerCountLine("000005"));
    EXPECT_EQ(formatFile({raw.begin(), raw.end()}, makeOptions(true, true, true), state).lineCount, 5);
}

TEST(EffectiveIndent, LineLengthAndPreprocessorRules) {
    const auto chinese = [](int n) {
        std::string s;
        for (int k = 0; k < n; ++k) s += "中";
        return s;
    };
    const struct {
        std::int64_t columns;
        std::string text;
        std::size_t blanks;
    } rows[] = {
        {12, std::string(120, 'x'), 12},
        {12, std::string(121, 'x'), 11},
        {12, std::string(125, 'x'), 7},
        {0, std::string(125, 'x'), 0},
        {12, std::string(132, 'x'), 0},
        {12, std::string(133, 'x'), 0},
        {12, std::string(165, 'x'), 0},
        {4, chinese(130), 2},  // characters, not bytes
        {8, chinese(50), 8},
        {8, "#ifdef DEBUG", 0},
        {8, "#endif", 0},
        {8, "x = a # b", 8},
        {8, "", 8},
        {32764, "x", 131},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(effectiveIndent(r.columns, r.text), r.blanks) << r.columns << " '" << r.text << "'";
    }
}

}  // namespace
}  // namespace codekiln
