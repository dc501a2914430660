// Whole files and sequences of files: line splitting and line ends, state
// carried from one file to the next (the labelled-DO record survives unless a
// separator banner resets it, the indentation does not), and formatting an
// already formatted or re-indented file.
#include "engine/format/format_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "banner_shapes.h"
#include "engine/format/large_buffers.h"
#include "engine/format/line_splitter.h"
#include "engine/format/modern_layout.h"
#include "format_lines.h"

namespace codekiln {
namespace {

using namespace codekiln::testing;
using Lines = std::vector<std::string>;

TEST(SplitLines, AnyLineEnd) {
    const struct {
        std::string text;
        Lines lines;
    } rows[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\n", {"a"}},
        {"a\n\n", {"a", ""}},
        {"\r\n", {""}},
        // With LF line ends a CR that no LF follows is a character of its line.
        {"a\r\nb\nc\rd", {"a", "b", "c\rd"}},
        {"s = \"a\rb\"\nx = 1 +\r 2\n", {"s = \"a\rb\"", "x = 1 +\r 2"}},
        {"a\r\r\nb", {"a\r", "b"}},
        {"a\n\rb", {"a", "\rb"}},
        {"a\nb\r", {"a", "b\r"}},
        // Without any LF (old Mac files) every CR ends a line.
        {"a\rb\r\rc\r", {"a", "b", "", "c"}},
    };
    for (const auto& r : rows) {
        const std::vector<std::string_view> views = splitLines(r.text);
        EXPECT_EQ(Lines(views.begin(), views.end()), r.lines) << "text: '" << r.text << "'";
        // Each line with its own end gives back the text, byte for byte.
        LineSplitter splitter(r.text);
        std::string joined;
        for (std::string_view content, end; splitter.next(content, end);) joined.append(content).append(end);
        EXPECT_EQ(joined, r.text);
    }
}

TEST(FormatText, EveryWrittenLineEndsWithTheGivenEnd) {
    const std::string input = "program p\nx = 1\r\nend program p\r\n";
    for (const std::string eol : {"\r\n", "\n"}) {
        DoLabelRecord state;
        const std::string out = formatText(input, FormatOptions{}, state, eol).text;
        const std::string rule = headerRule() + eol;
        EXPECT_EQ(out, rule + rule + headerTitle() + eol + headerCountLine("000003") + eol + rule + rule +
                           "program p" + eol + "    x = 1" + eol + "end program p" + eol);
    }
}

// A large output's room is handed to the program's advice before it is
// written: each layout's whole text must lie in a range it was told of, or
// the advice would be asked about memory the output does not use.
TEST(FormatText, LargeOutputsAreAdvisedOfTheirOwnRoom) {
    static std::vector<std::pair<const char*, std::size_t>> advised;
    setLargeBufferAdvice([](const char* begin, std::size_t size) { advised.emplace_back(begin, size); });
    std::string body;
    while (body.size() < (std::size_t{5} << 20)) body += "  do i = 1, n\nx(i) = 'a  b'\n  end do\n";
    const std::string free = "program p\n" + body + "end program p\n";
    std::string fixed = "      program p\n";
    while (fixed.size() < (std::size_t{5} << 20)) fixed += "      do 10 i = 1, n\n   10 x(i) = 0\n";
    fixed += "      end\n";
    FormatOptions fixedForm;
    fixedForm.form = SourceForm::Fixed;
    ModernOptions modernFixed;
    modernFixed.form = SourceForm::Fixed;
    const struct {
        const char* name;
        std::function<std::string()> format;
    } rows[] = {
        {"classic, free form", [&] { DoLabelRecord r; return formatText(free, FormatOptions{}, r).text; }},
        {"classic, fixed form", [&] { DoLabelRecord r; return formatText(fixed, fixedForm, r).text; }},
        {"modern, free form", [&] { return formatModern(free, ModernOptions{}).text; }},
        {"modern, fixed form", [&] { return formatModern(fixed, modernFixed).text; }},
    };
    for (const auto& row : rows) {
        advised.clear();
        const std::string out = row.format();
        const bool inside = std::any_of(advised.begin(), advised.end(), [&](const auto& range) {
            return out.data() >= range.first && out.data() + out.size() <= range.first + range.second;
        });
        EXPECT_TRUE(inside) << row.name;
    }
    setLargeBufferAdvice(nullptr);
}

// The whole text is read and written in one pass, with the separator
// banner's look-ahead running over lines not yet written: it must write what
// the store of the split lines writes, for every option and with its lines
// read on its own thread or ahead on a second one, and leave the same
// labelled-DO record.
TEST(FormatText, OnePassWritesWhatTheStoreWrites) {
    const std::string texts[] = {
        "",
        "end",
        "end\n",
        "subroutine a(x)\nend\nsubroutine b(y)\nend\n",
        // The unit ends on the last line, or the header is the last line.
        "program p\nend program p",
        "end\nsubroutine last(q)",
        "end\n\n   \nsubroutine s(q)\nend\n",
        // No header after a unit: the look-ahead reaches the end, then
        // resumes nowhere for the next unit.
        "end\nx = 1\nend\ny = 2\nend\nz = 3\n",
        // Several units before the header found: one header ahead for all.
        "end\nend\nend\nfunction f(a, b)\nend\n",
        // Lines the cleaning copies (four blanks, a continued constant, a
        // leading tab) ahead of and in the header.
        "end\n  x    =    1\nsubroutine    s(a,    &\n  b)\ns = 'ab    &\n     cd'\nend\n",
        "end\n\tsubroutine t(p)\n! note(x)\nc note(y)\nend\n",
        // Banner lines of an earlier run are dropped before the look-ahead.
        "end\n! " + std::string(90, '*') + " !\nsubroutine u(v)\nend\n",
        // Labelled DO loops closed across a banner.
        "do 10 i = 1, 2\nend\n10 continue\nsubroutine w(k)\ndo 20 j = 1, k\n20 x = j\nend\n",
        "a\r\nend\r\n\r\nsubroutine crlf(z)\r\nend\r\n",
        "old\rmac\rend\rsubroutine cr(z)\rend\r",
    };
    // All of them many times over: lines prepared ahead come in chunks of
    // thousands, so units, look-aheads and continued constants fall across
    // the chunks' edges.
    std::string all;
    for (int copy = 0; copy < 500; ++copy)
        for (const std::string& text : texts) all += text + "\n";
    std::vector<std::string> cases(std::begin(texts), std::end(texts));
    cases.push_back(all);
    for (const std::string& text : cases) {
        for (int k = 0; k < 16; ++k) {
            SCOPED_TRACE("text '" + text.substr(0, 200) + "', options " + std::to_string(k));
            FormatOptions options;
            options.removeBlankLines = (k & 1) != 0;
            options.indentElse = (k & 2) != 0;
            options.showSeparators = (k & 4) == 0;
            DoLabelRecord fromLines;
            DoLabelRecord fromText;
            const FormattedFile expected = formatFile(splitLines(text), options, fromLines);
            const LineReading reading = (k & 8) != 0 ? LineReading::AheadOnSecondThread : LineReading::OnOneThread;
            const FormattedFile got = formatText(text, options, fromText, "\r\n", nullptr, reading);
            EXPECT_EQ(got.text, expected.text);
            EXPECT_EQ(got.lineCount, expected.lineCount);
            EXPECT_EQ(fromText.doLabelCount, fromLines.doLabelCount);
            EXPECT_EQ(fromText.openLoops, fromLines.openLoops);
        }
    }
}

// Two files formatted in one session: file 1 leaves a labelled DO open and
// writes a separator banner after it; file 2 carries the label.
TEST(FileSequence, LabelledDoRecordAcrossFiles) {
    const Lines file1 = {"subroutine a",     "do 10 i = 1, n", "x = i",
                         "end subroutine a", "subroutine b",   "end subroutine b"};
    const Lines file2 = {"subroutine c", "y = 1", "10 continue", "end subroutine c"};
    const struct {
        bool showSeparators;
        std::int64_t labelsAfterFile1;
        std::string continueLine;
    } rows[] = {
        {false, 1, "10 continue"},     // the loop of file 1 closes here
        {true, 0, "    10 continue"},  // the banner in file 1 forgot the label
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.showSeparators ? "separators on" : "separators off");
        FormatOptions options;
        options.showSeparators = r.showSeparators;
        DoLabelRecord state;
        formatLines(file1, options, state);
        EXPECT_EQ(state.doLabelCount, r.labelsAfterFile1);
        const Lines out = formatLines(file2, options, state);
        ASSERT_EQ(out.size(), 10u);
        EXPECT_EQ(out[8], r.continueLine);
        EXPECT_EQ(out[9], "end subroutine c");
    }
}

TEST(FileSequence, EachFileStartsAtColumnZero) {
    DoLabelRecord state;
    const Lines first = formatLines({"program p", "do i = 1, n", "if (x) then"}, FormatOptions{}, state);
    ASSERT_EQ(first.back(), "        if (x) then");  // the first file ends three blocks deep
    const Lines out = formatLines({"x = 1", "y = 2"}, FormatOptions{}, state);
    ASSERT_EQ(out.size(), 8u);
    EXPECT_EQ(out[6], "x = 1");
    EXPECT_EQ(out[3], headerCountLine("000002"));  // each file has its own count
}

const Lines kMixedFile = {
    "! 计算模块 (multi-byte text stays intact)",
    "MODULE Geometry",
    "  implicit none",
    "CONTAINS",
    "  REAL FUNCTION Area(r)",
    "    real, intent(in) :: r",
    "    Area = 3.14159    *    r * r",
    "  END FUNCTION Area",
    "  SUBROUTINE Report(n, label)",
    "    integer n",
    "    character(*) label",
    "    DO 10 I = 1, N",
    "      IF (I > 2) THEN",
    "        print *, 'big:    ', label",
    "      ELSE IF (I == 2) THEN",
    "        print *, \"two\"",
    "      ELSE",
    "        print *, 'small'    !    note    it",
    "      END IF",
    "#ifdef DEBUG",
    "      write (*, *) 'row &",
    "  continued    text'",
    "#endif",
    "10  CONTINUE",
    "    SELECT CASE (n)",
    "    CASE (1)",
    "      print *, '一'",
    "    CASE DEFAULT",
    "      print *, '多'",
    "    END SELECT",
    "  END SUBROUTINE Report",
    "END MODULE Geometry",
    "",
    "PROGRAM Main",
    "  use geometry",
    "  call report(3, 'x')",
    "END PROGRAM Main",
};

TEST(Reformatting, FormattedTextFormatsToItself) {
    const struct {
        std::string what;
        FormatOptions options;
    } rows[] = {
        {"defaults", FormatOptions{}},
        {"no separators, no else step",
         [] {
             FormatOptions o;
             o.showSeparators = false;
             o.indentElse = false;
             return o;
         }()},
        {"blank lines removed",
         [] {
             FormatOptions o;
             o.removeBlankLines = true;
             return o;
         }()},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        DoLabelRecord first;
        const Lines once = formatLines(kMixedFile, r.options, first);
        DoLabelRecord second;
        const Lines twice = formatLines(once, r.options, second);
        EXPECT_EQ(twice, once);  // old banners replaced, not stacked
        EXPECT_EQ(std::count(twice.begin(), twice.end(), headerTitle()), 1);
    }
}

// Indentation thrown about (blanks added at both ends of every line but the
// continued constant's second line) formats back to the same text.
TEST(Reformatting, MessedUpIndentationFormatsBack) {
    DoLabelRecord state;
    const Lines once = formatLines(kMixedFile, FormatOptions{}, state);
    Lines messed;
    for (std::size_t k = 0; k < once.size(); ++k) {
        const std::string& line = once[k];
        const bool continued = k > 0 && !once[k - 1].empty() && once[k - 1].back() == '&' &&
                               once[k - 1].find('\'') != std::string::npos;
        messed.push_back(continued ? line : std::string(k % 7, ' ') + line + std::string(k % 3, ' '));
    }
    DoLabelRecord again;
    EXPECT_EQ(formatLines(messed, FormatOptions{}, again), once);
}

}  // namespace
}  // namespace codekiln
