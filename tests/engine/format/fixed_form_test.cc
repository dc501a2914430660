// Fixed-form reading and its safety check, the source-form choice, and
// Hollerith constants as every stage finds them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/format/constants.h"
#include "engine/format/fixed_form.h"
#include "engine/format/format_file.h"
#include "engine/format/safety_check.h"

namespace codekiln {
namespace {

using Kind = FixedLine::Kind;

TEST(FixedLine, CutsFieldsByColumn) {
    const std::string longLine = "      X = 1" + std::string(61, ' ') + "SEQ00010";
    const struct {
        std::string raw;
        Kind kind;
        std::string field, text, tail, label;
    } rows[] = {
        {"C     NOTE", Kind::Comment, "", "", "", ""},
        {"c", Kind::Comment, "", "", "", ""},
        {"*     X = 1", Kind::Comment, "", "", "", ""},
        {"   ! note", Kind::Comment, "", "", "", ""},
        {"\t! note", Kind::Comment, "", "", "", ""},
        {"#include \"a.h\"", Kind::Comment, "", "", "", ""},
        {"  \t ", Kind::Blank, "", "", "", ""},
        {"     !X = 1", Kind::Continuation, "     !", "X = 1", "", ""},  // "!" in column 6 is a mark
        {"     0X = 1", Kind::Initial, "     0", "X = 1", "", ""},
        {"     $  B)", Kind::Continuation, "     $", "  B)", "", ""},
        {" 1 0  CONTINUE", Kind::Initial, " 1 0  ", "CONTINUE", "", "10"},
        {"   10", Kind::Initial, "   10", "", "", "10"},
        {"\tX = 1", Kind::Initial, "\t", "X = 1", "", ""},
        {"\t1  + 2", Kind::Continuation, "\t1", "  + 2", "", ""},
        {"\t0X", Kind::Initial, "\t", "0X", "", ""},
        {"20\tCONTINUE", Kind::Initial, "20\t", "CONTINUE", "", "20"},
        {longLine, Kind::Initial, "      ", longLine.substr(6, 66), "SEQ00010", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.raw);
        const FixedLine line = cutFixedLine(row.raw);
        EXPECT_EQ(line.kind, row.kind);
        if (!line.code()) continue;
        EXPECT_EQ(line.field, row.field);
        EXPECT_EQ(line.text, row.text);
        EXPECT_EQ(line.tail, row.tail);
        EXPECT_EQ(line.label(), row.label);
    }
}

TEST(SourceForm, ParsedAndChosenByExtension) {
    const struct {
        const char* name;
        SourceForm form;
    } rows[] = {{"a.f", SourceForm::Fixed},   {"A.FOR", SourceForm::Fixed}, {"dir/b.Ftn", SourceForm::Fixed},
                {"c.f77", SourceForm::Fixed}, {"d.f90", SourceForm::Free},  {"e.fortran", SourceForm::Free},
                {"f.d/g", SourceForm::Free},  {"standard input", SourceForm::Free}};
    for (const auto& row : rows) EXPECT_EQ(formForFile(SourceForm::Auto, row.name), row.form) << row.name;
    EXPECT_EQ(formForFile(SourceForm::Free, "a.f"), SourceForm::Free);
    SourceForm form = SourceForm::Free;
    EXPECT_TRUE(parseSourceForm("fixed", form));
    EXPECT_EQ(form, SourceForm::Fixed);
    EXPECT_FALSE(parseSourceForm("Fixed", form));
    EXPECT_EQ(form, SourceForm::Fixed);
}

TEST(Hollerith, FoundOnlyInFormatStatementsAndNotAfterAWordCharacter) {
    const struct {
        const char* line;
        std::vector<std::string> constants;
    } rows[] = {
        {"100 FORMAT(12HTOTAL ENERGY)", {"12HTOTAL ENERGY"}},
        {"format (1x, 5Hab  c, I3)", {"5Hab  c"}},
        {"format (1X, X12H, A)", {}},
        {"format (F10.3, E12.4, 2(1X, I3))", {}},
        {"format (3H'!', 'it''s')", {"3H'!'", "'it''s'"}},
        {"format (0HX)", {}},
        {"formats(1) = 12HTOTAL", {}},
        {"x = 12HTOTAL ENERGY", {}},
        {"format (20HRUNS PAST", {"20HRUNS PAST"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        ConstantState state;
        state.inFormat = startsFormatStatement(row.line);
        std::vector<std::string> found;
        scanConstants(
            row.line, state, [](std::string_view) {}, [&](std::string_view c) { found.emplace_back(c); });
        EXPECT_EQ(found, row.constants);
    }
}

TEST(Hollerith, OpenAtColumn72TakesThePaddingAndGoesOn) {
    ConstantState state;
    state.inFormat = true;
    std::string constants;
    const auto add = [&](std::string_view c) { constants.append(c); };
    scanFixedText("FORMAT (70HAB", state, [](std::string_view) {}, add);
    EXPECT_EQ(state.hollerithLeft, 70u - 2 - (66 - 13));
    EXPECT_EQ(constants.size(), 66u - 8);
}

std::string formatFixed(const std::string& text) {
    FormatOptions options;
    options.form = SourceForm::Fixed;
    options.showSeparators = false;
    DoLabelRecord record;
    return formatText(text, options, record, "\n").text;
}

TEST(FixedSafety, RefusesWhatACompilerWouldReadDifferently) {
    const std::string input =
        "      PROGRAM P\n"
        "      IF (X .GT. 1) THEN\n"
        "      CALL F(X,\n"
        "     $       Y)\n"
        "   10 FORMAT (5HA  B )\n"
        "C     NOTE\n"
        "      END IF\n"
        "      END\n";
    const std::string good = formatFixed(input);
    const std::vector<std::string_view> in = splitLines(input);
    ASSERT_TRUE(checkSafety(in, good, SourceForm::Fixed).same);
    const struct {
        const char* what;
        std::string from, to;
    } mutations[] = {
        {"label moved", "   10 ", "  10  "},
        {"mark changed", "     $", "     &"},
        {"Hollerith squeezed", "5HA  B", "5HA B "},
        {"comment reindented", "C     NOTE", "C         NOTE"},
        {"pushed past column 72", "CALL F(X,", std::string(60, ' ') + "CALL F(X,"},
        {"line joined", ",\n     $", ","},
        {"a letter changed", "CALL F(X,", "CALL G(X,"},
        {"a character more at the end", "Y)", "Y))"},
    };
    for (const auto& m : mutations) {
        std::string bad = good;
        const std::size_t at = bad.find(m.from);
        ASSERT_NE(at, std::string::npos) << m.what;
        bad.replace(at, m.from.size(), m.to);
        EXPECT_FALSE(checkSafety(in, bad, SourceForm::Fixed).same) << m.what;
        EXPECT_FALSE(checkSafety(input, bad, SourceForm::Fixed).same) << m.what;  // the text split as it is walked
    }
}

// A whole text is formatted without a list of its lines; it must come out
// as its split lines do, whichever way each line's cleaned text is kept.
TEST(FixedForm, WholeTextFormatsAsItsLines) {
    const std::string longLine = "      X = 'A' // 'B'" + std::string(50, ' ') + "SEQ00010";
    const char* inputs[] = {
        "      PROGRAM P\n      DO 10 I = 1, N\n   10 CONTINUE\n      END\n",
        "      IF (X    .GT.    1) THEN\r\n      Y = 1\r\n      END IF\r\n",  // runs of four blanks
        "      A = 'IT    STAYS\r     $  ON'\r      END\r",                   // CR line ends, open constant
        "\tPROGRAM T\n\t1 CONTINUED\nC comment\n\n      END",                 // tab form, no last line end
        longLine.c_str(),                                                       // text beyond column 72
    };
    for (const char* input : inputs) {
        FormatOptions options;
        options.form = SourceForm::Fixed;
        DoLabelRecord fromText;
        DoLabelRecord fromLines;
        const FormattedFile a = formatText(input, options, fromText);
        const FormattedFile b = formatFile(splitLines(input), options, fromLines);
        EXPECT_EQ(a.text, b.text) << input;
        EXPECT_EQ(a.lineCount, b.lineCount) << input;
        EXPECT_EQ(fromText, fromLines) << input;
        EXPECT_TRUE(checkSafety(std::string_view(input), a.text, SourceForm::Fixed).same) << input;
    }
}

TEST(FreeSafety, RefusesASqueezedHollerith) {
    const std::string input = "100 format (15HTOTAL    ENERGY)\n";
    const std::vector<std::string_view> in = splitLines(input);
    EXPECT_TRUE(checkSafety(in, "100 format (15HTOTAL    ENERGY)\n").same);
    EXPECT_FALSE(checkSafety(in, "100 format (15HTOTAL ENERGY)\n").same);
}

}  // namespace
}  // namespace codekiln
