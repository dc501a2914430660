// The safety check must let every real formatting through and stop any output
// that lost, joined, split or altered what the programmer wrote.
#include "engine/format/safety_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "engine/format/format_file.h"
#include "engine/state/text.h"

namespace codekiln {
namespace {

// The check reading `output` as another thread writes it, a few bytes at a
// time (line ends split between two steps among them).
SafetyVerdict checkAsWritten(const std::string& input, const std::string& output) {
    PublishedText published(output.find('\n') == std::string::npos, 1);
    std::thread writer([&] {
        for (std::size_t at = 0; at < output.size();) {
            at = std::min(output.size(), at + 1 + at % 7);
            published.publish(std::string_view(output).substr(0, at));
        }
        published.finish();
    });
    const SafetyVerdict verdict = checkSafetyAsWritten(input, published);
    writer.join();
    return verdict;
}

// Checks with the output as lines, as one text with each kind of line end
// and as a text being written; all must agree.
SafetyVerdict check(const std::string& input, const std::string& output) {
    const SafetyVerdict fromLines = checkSafety(splitLines(input), splitLines(output));
    for (const char* eol : {"\n", "\r\n", "\r"}) {
        // CR line ends cannot stand for LF in a text with a CR inside a line.
        if (std::string(eol) == "\r" && output.find('\r') != std::string::npos) continue;
        const SafetyVerdict fromText = checkSafety(splitLines(input), replaceAll(output, "\n", eol));
        EXPECT_EQ(fromLines.same, fromText.same) << "line ends "
                                                 << (eol[0] == '\n' ? "LF"
                                                     : eol[1]       ? "CR LF"
                                                                    : "CR");
        EXPECT_EQ(fromLines.reason, fromText.reason);
        const std::string text = replaceAll(output, "\n", eol);
        EXPECT_EQ(checkSafety(input, text).reason, checkAsWritten(input, text).reason) << "as written";
    }
    return fromLines;
}

std::string format(const std::string& input, const FormatOptions& options = {}) {
    DoLabelRecord state;
    return formatText(input, options, state, "\n").text;
}

// A program with most of what formatting touches: indentation, labelled DO
// loops, constants with blank runs and doubled quotes, constants continued
// with and without a leading "&", tabs, a boxed comment, blank lines, a
// preprocessor block and a second unit for a separator banner.
const std::string kProgram =
    "program demo\n"
    "  implicit none\n"
    "\tinteger :: i,    j\n"
    "\t  \tcharacter(len=40) :: s\n"
    "  s = 'a    b'      ! four blanks kept\n"
    "  s = \"it's\" // 'say ''hi'''\n"
    "\n"
    "  do 10 i = 1, 3\n"
    "      do 20 j = 1, 2\n"
    "         print *, i,        j\n"
    "20    continue\n"
    "10 continue\n"
    "  s = 'first    part &\n"
    "\t    second    part'\n"
    "  s = \"one &\n"
    "  ! a comment between the two halves\n"
    "\n"
    "      &  two    \"\n"
    "  select case (i)\n"
    "  case (1)\n"
    "     print *, 'one'    ! it's    a comment\n"
    "  case default\n"
    "     print *, 'open to the end    \n"
    "  end select\n"
    "! ************ boxed * comment ************ !\n"
    "#ifdef DEBUG\n"
    "  print *, \"debug\"\n"
    "#endif\n"
    "end program demo\n"
    "subroutine show(a, b)\n"
    "  real a, b  ! 注释：中文 * !\n"
    "  write (*, '(a)') '中文    常量'\n"
    "end subroutine show\n";

TEST(SafetyCheck, PassesRealFormatting) {
    const std::vector<std::string> inputs = {
        kProgram,
        "",
        "\n\n   \n\t\t\n",
        "x = 1",
        "\r\nprogram p\r\nend\r\n",
        "\t \tx = 1\n\t\t!\tcomment\n",
        "s = 'never closed &\n\n! comment\n&\n  still   open  '\n",
        "s = 'a' // \"b\" // 'c''d' // \"e\"\"f\"\n",
        std::string(200, 'x') + "\n  do i = 1, 2\n" + std::string(140, 'y') + "\n  end do\n",
        "s = \"a\rb\"\nx = 1 +\r 2\r\n",      // a CR inside a line of an LF file
        "program p\rx = 1\rend program p\r",  // CR line ends only
    };
    for (const bool removeBlankLines : {false, true}) {
        for (const bool showSeparators : {false, true}) {
            FormatOptions options;
            options.removeBlankLines = removeBlankLines;
            options.showSeparators = showSeparators;
            for (const std::string& input : inputs) {
                SCOPED_TRACE(input);
                const std::string once = format(input, options);
                EXPECT_TRUE(check(input, once).same) << check(input, once).reason;
                // A second formatting drops the old banners and writes fresh ones.
                const std::string twice = format(once, options);
                EXPECT_TRUE(check(once, twice).same) << check(once, twice).reason;
                EXPECT_TRUE(check(input, twice).same) << check(input, twice).reason;
            }
        }
    }
}

TEST(SafetyCheck, AllowsOnlyLayoutChanges) {
    struct Row {
        const char* what;
        std::string input;
        std::string output;
    };
    const std::vector<Row> rows = {
        {"indentation and trimmed ends", "x = 1  \n", "        x = 1\n"},
        {"four blanks collapsed outside constants", "x  =    1\n", "x  = 1\n"},
        {"leading tabs removed", "\t\tx = 1\n", "    x = 1\n"},
        {"blank lines dropped", "a\n\n \t\nb\n", "a\nb\n"},
        {"old banners dropped", "! " + std::string(97, '*') + "!\nx\n", "x\n"},
        {"a constant closed at the end of its line loses trailing blanks", "s = 'a  \n", "s = 'a\n"},
        {"a continued constant resumes after a leading &", "s = 'a &\n\t  &b'\n", "s = 'a &\n    &b'\n"},
    };
    for (const Row& row : rows) {
        const SafetyVerdict verdict = check(row.input, row.output);
        EXPECT_TRUE(verdict.same) << row.what << ": " << verdict.reason;
    }
}

TEST(SafetyCheck, CatchesBrokenOutput) {
    struct Row {
        const char* what;
        std::string from;  ///< a piece of the correct output
        std::string to;    ///< what a broken formatter put there instead
        std::string reason;
    };
    const std::vector<Row> rows = {
        {"a dropped code line", "print *, i,  j\n", "", "line 10 is changed or missing"},
        {"a dropped comment", "! ************ boxed * comment ************ !\n", "", "line 25 is"},
        {"two lines joined", "implicit none\n", "implicit none ", "line 2 is"},
        {"a line split in two", "integer :: i, j", "integer :: i,\nj", "line 3 is"},
        {"a word changed", "end select", "end selectt", "line 24 is"},
        {"letter case changed", "implicit none", "IMPLICIT NONE", "line 2 is"},
        {"two lines swapped", "case default\n    print *, 'open to the end\n",
         "print *, 'open to the end\n    case default\n", "line 22 is"},
        {"blanks inside a constant collapsed", "'a    b'", "'a b'", "a character constant on line 5"},
        {"a doubled quote halved", "'say ''hi'''", "'say 'hi''", "line 6 is"},
        {"a continued constant's line indented", "\t    second    part'", "    \t    second    part'",
         "a character constant on line 14"},
        {"a continued constant's leading tab dropped", "\t    second    part'", "    second    part'",
         "line 14 is"},
        {"a continued constant's leading blanks and tab dropped", "\t    second    part'", "second    part'",
         "line 14 is"},
        {"blanks after a leading & changed", "&  two    \"", "&two    \"", "a character constant on line 18"},
        {"a multi-byte constant changed", "'中文    常量'", "'中文 常量'", "a character constant on line 32"},
        {"a line added", "end program demo\n", "end program demo\nstop\n", "line 30 is"},
        {"a line added at the end", "end subroutine show\n", "end subroutine show\nstop\n",
         "formatting added text at output line 45"},
    };
    const std::string input = kProgram;
    const std::string good = format(input);
    ASSERT_TRUE(check(input, good).same) << check(input, good).reason;
    for (const Row& row : rows) {
        std::string broken = good;
        const std::size_t at = broken.find(row.from);
        ASSERT_NE(at, std::string::npos) << row.what;
        broken.replace(at, row.from.size(), row.to);
        const SafetyVerdict verdict = check(input, broken);
        EXPECT_FALSE(verdict.same) << row.what;
        EXPECT_NE(verdict.reason.find(row.reason), std::string::npos) << row.what << ": " << verdict.reason;
    }
}

// In a file with LF line ends a lone CR is part of its line: output that
// splits there has split a statement.
TEST(SafetyCheck, CatchesALineSplitAtALoneCr) {
    for (const std::string input : {"x = 1 +\r 2\n", "s = \"a\rb\"\r\n"}) {
        const std::string good = format(input);
        ASSERT_TRUE(check(input, good).same) << check(input, good).reason;
        std::string broken = good;
        broken.insert(broken.find('\r', broken.find(input.substr(0, 3))) + 1, "\n");
        EXPECT_FALSE(check(input, broken).same) << input;
    }
}

// Found by fuzzing: leading tabs are removed only up to the first blank, so
// "\t \t!**************** !" is written as "\t!**************** !", which the
// next formatting takes for an empty banner title line and drops. The check
// refuses such output, so the file is left as it was.
TEST(SafetyCheck, RefusesOutputThatTheNextFormattingWouldDrop) {
    const std::string input = "x = 1\n\t \t!" + std::string(16, '*') + " !\n";
    const SafetyVerdict verdict = check(input, format(input));
    EXPECT_FALSE(verdict.same);
    EXPECT_NE(verdict.reason.find("line 2 is"), std::string::npos) << verdict.reason;
}

}  // namespace
}  // namespace codekiln

namespace codekiln {
namespace {

// The input is let go only before both the check and the writer's mark:
// the writer may still read what lies past its mark.
TEST(SafetyCheck, AsWrittenLetsGoOnlyWhatBothHavePassed) {
    std::string input;
    while (input.size() < (2u << 20)) input += kProgram;
    const std::string output = format(input);
    for (const std::size_t mark : {std::size_t{0}, input.size() / 3, input.size()}) {
        PublishedText published(false);
        published.noteInput(mark);
        published.publish(output);
        published.finish();
        std::size_t last = 0;
        const SafetyVerdict verdict = checkSafetyAsWritten(input, published, [&](std::size_t done) {
            EXPECT_GT(done, last);
            EXPECT_LE(done, mark);
            last = done;
        });
        EXPECT_TRUE(verdict.same) << verdict.reason;
        if (mark != 0) {
            EXPECT_GT(last, mark / 2);
        }
    }
}

}  // namespace
}  // namespace codekiln

namespace codekiln {
namespace {

// The check waits for the writer in the middle of a line it reads ahead for
// (the blank line before it already read), finds it changed, and must read
// the lines from the blank line again: a wrong line there is a false refusal.
TEST(SafetyCheck, AsWrittenReadsAgainAfterWaitingInsideALine) {
    const std::string input = "a\n\nb    c\n";
    const std::string output = "    a\n\n    b c\n";  // four blanks collapsed
    PublishedText published(false, 1);
    std::thread writer([&] {
        published.publish(std::string_view(output).substr(0, output.find("b c") + 1));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        published.publish(output);
        published.finish();
    });
    const SafetyVerdict verdict = checkSafetyAsWritten(input, published);
    writer.join();
    EXPECT_TRUE(verdict.same) << verdict.reason;
}

}  // namespace
}  // namespace codekiln
