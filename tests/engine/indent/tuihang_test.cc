// The classifier on single lines: how each kind of line moves the running
// indentation, which lines end a program unit, which are comment lines, and
// what kind the classifier calls each line. Every row starts from the given
// indentation. A last test checks the fast word walk against the plain
// searches of the token tables on lines built from every token.
#include "engine/indent/tuihang.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace codekiln {
namespace {

std::string_view trimBlanksForTest(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

struct Row {
    std::string line;  // as the caller passes it: trimmed, lower-cased
    int before;
    int after;
    bool unitEnded;
    bool opener;
};

// Runs one row; `comment` says whether the line must be a comment line.
void expectRow(const Row& r, bool comment) {
    const LineClass line = tuihang(r.line, r.before);
    EXPECT_EQ(line.indentAfter, r.after) << "line: '" << r.line << "'";
    EXPECT_EQ(line.endsUnit(), r.unitEnded) << "line: '" << r.line << "'";
    EXPECT_EQ(line.opens(), r.opener) << "line: '" << r.line << "'";
    EXPECT_EQ(line.kind == LineKind::Comment, comment) << "line: '" << r.line << "'";
}

TEST(Tuihang, CommonStatements) {
    const std::vector<Row> rows = {
        {"if (a>b) then", 8, 12, false, true},
        {"if(a>b)then", 8, 12, false, true},
        {"do i = 1, n", 4, 8, false, true},
        {"select case (k)", 4, 8, false, true},
        {"else if (x > 0) then", 8, 12, false, true},
        {"else", 8, 8, false, false},
        {"case (1)", 8, 8, false, false},
        {"end if", 12, 8, false, false},
        {"enddo", 8, 4, false, false},
        {"end module m", 8, 0, true, false},
        {"endmodule", 4, 0, true, false},
        {"subroutine solve(a, n)", 0, 4, false, true},
        {"subroutine inner", 8, 4, false, true},
        {"integer function f(x)", 12, 4, false, true},
        {"function f(x) ! do it", 4, 8, false, true},
        {"print *, 'main program starts'", 12, 4, false, true},
        {"end subroutine solve", 8, 0, true, false},
        {"endprogram", 8, 0, true, false},
        {"end ! main", 4, 0, true, false},
        {"end if ! end program", 8, 0, true, false},
        {"call foo(x)", 4, 4, false, false},
    };
    for (const Row& r : rows) expectRow(r, false);
}

TEST(Tuihang, CommentLinesLeaveEverythingAlone) {
    const std::vector<Row> rows = {
        {"! comment", 4, 4, false, false},
        {"c this is a comment", 4, 4, false, false},
        {"! then do end program", 8, 8, false, false},
        {"c", 4, 4, false, false},
        {"c = a + b", 4, 4, false, false},
        {"c(1) = 0", 4, 4, false, false},
        {"c1 = 2", 4, 4, false, false},
        {"c\tdo i = 1, n", 4, 4, false, false},      // a tab is not a letter
        {"c\xC3\xA9 = 1 then", 4, 4, false, false},  // nor is a letter outside ASCII
    };
    for (const Row& r : rows) expectRow(r, true);
}

TEST(Tuihang, CodeLinesAndTokenBoundaries) {
    const std::vector<Row> rows = {
        {"case default", 8, 8, false, false},  // c and a letter: code, not a comment
        {"contains", 4, 4, false, false},
        {"character*8 s", 4, 4, false, false},
        {"elseif (x > 0) then", 8, 12, false, true},
        {"x = 1 ! then", 4, 8, false, true},     // a trailing comment counts like code
        {"if (x) then!", 4, 4, false, false},    // then needs a blank after it
        {"if (x) xthen", 4, 4, false, false},    // and a blank or ")" before it
        {"if (a>b)\tthen", 4, 4, false, false},  // a tab is not a blank
        {"if (a>b) \tthen", 4, 4, false, false},
        {"x = 1 !then", 4, 4, false, false},
        {"if (x)  then", 4, 8, false, true},
        {"then", 4, 8, false, true},
        {"do while (i < n)", 4, 8, false, true},
        {"do10i=1,n", 4, 4, false, false},
        {"select type (p)", 4, 8, false, true},
        {"x = if1 + 1", 4, 8, false, true},
        {"program main", 12, 4, false, true},
        {"module m", 0, 4, false, true},
        {"END DO", 8, 8, false, false},  // matching is case-sensitive
        {"", 8, 8, false, false},
    };
    for (const Row& r : rows) expectRow(r, false);
}

TEST(Tuihang, ClosersAndUnitEnds) {
    const std::vector<Row> rows = {
        {"end interface", 8, 4, false, false},
        {"end select", 8, 4, false, false},
        {"end block", 8, 4, false, false},
        {"end", 4, 0, true, false},
        {"end program main", 4, 0, true, false},
        {"end function", 8, 0, true, false},
        {"end subroutine", 12, 0, true, false},
        {"x = 1 !end program", 4, 0, true, false},  // only "end program" finds it
        {"call extend program", 8, 0, true, false},
        {"end  if", 8, 4, false, false},
        {"end\tif", 8, 8, false, false},
        {"if (x) then ! end", 8, 4, false, false},  // any closer wins over openers
        {"do i = 1, n ! end of loop", 8, 4, false, false},
        {"y = else1", 8, 4, false, false},
        {"x = case1", 8, 4, false, false},
        {"end do", 0, 0, false, false},  // floor
        {"end if", 2, 0, false, false},
    };
    for (const Row& r : rows) expectRow(r, false);
}

TEST(Tuihang, IndentationCeiling) {
    const std::vector<Row> rows = {
        {"do i = 1, n", 32760, 32764, false, true},
        {"do i = 1, n", 32764, 32764, false, true},  // the step is not taken
        {"if (x) then", 32767, 32767, false, true},
        {"subroutine s", 32764, 4, false, true},
        {"end do", 32764, 32760, false, false},
    };
    for (const Row& r : rows) expectRow(r, false);
}

TEST(Iszm, AsciiLettersOnly) {
    const struct {
        std::string zf;
        bool letter;
    } rows[] = {
        {"a", true},
        {"z", true},
        {"A", true},
        {"Z", true},
        {"m", true},
        {" ", false},
        {"", false},
        {"0", false},
        {"9", false},
        {"_", false},
        {"\t", false},
        {"@", false},
        {"[", false},
        {"`", false},
        {"{", false},
        {"\xC3\xA9", false},      // é
        {"\xE4\xB8\xAD", false},  // 中
    };
    for (const auto& r : rows) EXPECT_EQ(iszm(r.zf), r.letter) << "zf: '" << r.zf << "'";
}

// The classifier as its rules are written: plain substring searches of the
// framed line, list by list, in order.
LineClass plainSearch(const std::string& dm, int before) {
    const LineClass comment = tuihang(dm, before);  // the comment tests are checked by the tables above
    if (comment.kind == LineKind::Comment) return comment;
    const std::string framed = " " + dm + " ";
    auto has = [&](std::string_view token) { return framed.find(token) != std::string::npos; };
    LineClass expected;
    expected.movesBack = has(" else ") || has(" elseif ") || has(" case ");
    expected.doWord = has(" do ");
    int indent = before;
    expected.kind = LineKind::Other;
    for (std::string_view token : closingTokens) {
        if (!has(token)) continue;
        std::string blankFree;
        for (char c : dm)
            if (c != ' ') blankFree += c;
        bool unit = false;
        for (std::string_view word : unitEndWords) unit = unit || blankFree.find(word) != std::string::npos;
        if (blankFree.find("end") != std::string::npos && blankFree.substr(0, blankFree.find('!')) == "end")
            unit = true;
        expected.kind = unit ? LineKind::UnitCloser : LineKind::BlockCloser;
        indent = unit ? 0 : indent - 4;
        break;
    }
    if (expected.kind == LineKind::Other) {
        for (const OpeningToken& entry : openingTokens) {
            if (!has(entry.token)) continue;
            const bool unit = entry.step == OpeningStep::Set4;
            expected.kind = unit ? LineKind::UnitOpener : LineKind::BlockOpener;
            indent = unit ? 4 : indent + 4;
            break;
        }
    }
    expected.indentAfter = indent < 0 ? 0 : indent;
    return expected;
}

// Every token of every table, alone, inside words, glued to neighbours,
// doubled blanks and pairs: the word walk finds exactly what the plain
// searches find, and nothing else.
TEST(Tuihang, WordWalkAgreesWithThePlainSearchOfEveryTable) {
    std::vector<std::string> tokens;
    for (std::string_view t : closingTokens) tokens.emplace_back(t);
    for (const OpeningToken& t : openingTokens) tokens.emplace_back(t.token);
    for (std::string_view t : unitEndWords) tokens.emplace_back(t);
    for (std::string_view t : moveBackTokens) tokens.emplace_back(t);
    for (const char* t : {"else", "if", "then)", "end  program", "x)then", "endprogramx", "(then"}) tokens.emplace_back(t);
    std::vector<std::string> lines;
    for (const std::string& raw : tokens) {
        const std::string t(trimBlanksForTest(raw));
        for (const std::string& shape :
             {t, "x " + t, t + " x", "x" + t, t + "x", "a  " + t + "  b", "(" + t + ")", t + " ! c", "x =" + t})
            lines.push_back(shape);
        for (const std::string& raw2 : tokens) lines.push_back(t + " " + std::string(trimBlanksForTest(raw2)));
    }
    for (const std::string& line : lines) {
        for (int before : {0, 8}) {
            const LineClass got = tuihang(line, before);
            const LineClass want = plainSearch(line, before);
            EXPECT_EQ(got.kind, want.kind) << "'" << line << "'";
            EXPECT_EQ(got.indentAfter, want.indentAfter) << "'" << line << "'";
            if (got.kind == LineKind::Comment) continue;
            EXPECT_EQ(got.movesBack, want.movesBack) << "'" << line << "'";
            EXPECT_EQ(got.doWord, want.doWord) << "'" << line << "'";
        }
    }
}

}  // namespace
}  // namespace codekiln
