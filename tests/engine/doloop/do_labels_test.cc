// Labelled DO loops: which statements record a label and exactly what text
// is recorded, and which lines close recorded loops, by how many steps, and
// what is left open afterwards.
#include "engine/doloop/do_labels.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

namespace codekiln {
namespace {

/// The labelled-DO record with the running indentation it lowers.
struct State {
    int indentColumns = 0;
    DoLabelRecord doLabels;
};

void do77(std::string_view sr2, State& state) { codekiln::do77(sr2, state.doLabels); }
bool continucl(std::string_view sr2, State& state) {
    return codekiln::continucl(sr2, state.doLabels, state.indentColumns);
}

std::int64_t openLoops(const State& state, const std::string& label) {
    const auto it = state.doLabels.openLoops.find(label);
    return it == state.doLabels.openLoops.end() ? 0 : it->second;
}

TEST(Do77, RecordsTheLabelTextOfSingleLines) {
    const struct {
        std::string line;
        std::string entry;  // empty: nothing recorded
    } rows[] = {
        {"do 10 i = 1, n", "10"},
        {"   DO   100   I = 1 , N", "100"},
        {"20 do 30 k = 1, 2", "30"},
        {"do 10 i=1,n", "10"},
        {"do i = 1, 10", ""},
        {"do while (i <= n)", ""},
        {"do 10 while (x >= 0)", "10"},
        {"do 10 while (x > 0)", ""},
        {"do 10, i = 1, n", "10,"},
        {"do 10i = 1, n", "10i"},
        {"do 0010 i = 1, n", "0010"},
        {"do 0 i = 1, n", ""},
        {"do10i=1,n", ""},
        {"end do", ""},
        {"enddo", ""},
        {"! do 10 i = 1, n", ""},
        {"c do 10 i = 1, n", "10"},
        {"x = 1 ! do 90 i = 1, 2", "90"},
        {"y = 2; do 10", "10"},
        {"        do 40 j = 1, m", "40"},  // indentation in front
        {"do\t10 i = 1, n", ""},           // a tab after DO
        {"do", ""},
        {"do 1.5e1 i = 1, n", "1.5e1"},
        {"do" + std::string(226, ' ') + "10 i = 1, n", "10"},
        // The six blank-run replacements leave two blanks of 227: the
        // token after DO is then empty.
        {"do" + std::string(227, ' ') + "10 i = 1, n", ""},
    };
    for (const auto& r : rows) {
        State state;
        do77(r.line, state);
        SCOPED_TRACE("line: '" + r.line + "'");
        if (r.entry.empty()) {
            EXPECT_EQ(state.doLabels.doLabelCount, 0);
            EXPECT_TRUE(state.doLabels.openLoops.empty());
        } else {
            EXPECT_EQ(state.doLabels.doLabelCount, 1);
            EXPECT_EQ(openLoops(state, r.entry), 1);
        }
        EXPECT_EQ(state.indentColumns, 0);
    }
}

TEST(ReadsAsNonZero, NumericPrefixOfTheToken) {
    const struct {
        std::string token;
        bool nonZero;
    } rows[] = {
        {"10", true},   {"0010", true},   {"10,", true},   {"10i", true},   {"-5", true},   {"0.5", true},
        {"1e5", true},  {"1d2", true},    {"1.2.3", true}, {"0", false},    {"000", false}, {"+0", false},
        {"0.0", false}, {"0.0.5", false}, {"0e5", false},  {"0x10", false}, {"i", false},   {"while", false},
        {"e5", false},  {"-", false},     {"", false},
    };
    for (const auto& r : rows) EXPECT_EQ(readsAsNonZero(r.token), r.nonZero) << "token: '" << r.token << "'";
}

// The five-line run: do77 then continucl on each line, with the indentation
// the classifier would have left on entry.
TEST(Continucl, ClosesEveryMatchingLoopStepByStep) {
    const struct {
        std::string line;
        int indentIn;
        int indentOut;
        bool result;
        std::int64_t open10, open30;
    } rows[] = {
        {"DO 10 I = 1, N", 4, 4, false, 1, 0},      {"DO 10 J = 1, M", 8, 8, false, 2, 0},
        {"20 DO 30 K = 1, 2", 12, 12, false, 2, 1},  // label 20 matches nothing
        {"30 CONTINUE", 16, 12, true, 2, 0},        {"10 CONTINUE", 12, 4, true, 0, 0},
    };
    State state;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.line);
        state.indentColumns = r.indentIn;
        do77(r.line, state);
        EXPECT_EQ(continucl(r.line, state), r.result);
        EXPECT_EQ(state.indentColumns, r.indentOut);
        EXPECT_EQ(openLoops(state, "10"), r.open10);
        EXPECT_EQ(openLoops(state, "30"), r.open30);
    }
    EXPECT_EQ(state.doLabels.doLabelCount, 3);  // closing never lowers the count
}

TEST(Continucl, WhichLinesCloseWhat) {
    const struct {
        std::vector<std::string> doLines;  // recorded first
        std::string line;
        int indentIn;
        int indentOut;
        bool result;
    } rows[] = {
        {{"do 10 i = 1, n", "do 10 j = 1, n"}, "10 continue", 4, 0, true},  // floor at 0
        {{"do 10 i = 1, n"}, "10continue", 8, 4, true},
        {{"do 10 i = 1, n"}, "010 continue", 8, 8, false},
        {{"do 0010 i = 1, n"}, "10 continue", 8, 8, false},
        {{"do 0010 i = 1, n"}, "0010 continue", 8, 4, true},
        {{"do 10 i = 1, n"}, "10", 8, 4, true},  // digits only
        {{"do 10 i = 1, n"}, "        10 continue", 8, 4, true},
        {{"do 10, i = 1, n"}, "10 continue", 8, 8, false},
        {{"do 10i = 1, n"}, "10 continue", 8, 8, false},
        {{"do 1 i = 1, n"}, "1 x = 2", 8, 4, true},  // a continuation digit reads as a label
        {{"do 10 i = 1, n"}, "100 format (i5)", 8, 8, false},
        {{"do 10 i = 1, n"}, "", 8, 8, false},
        {{"do 10 i = 1, n"}, "continue 10", 8, 8, false},
        {{"do 10 i = 1, n"}, "! 10", 8, 8, false},
        {{}, "10 continue", 8, 8, false},  // nothing recorded
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.line);
        State state;
        for (const std::string& d : r.doLines) do77(d, state);
        state.indentColumns = r.indentIn;
        EXPECT_EQ(continucl(r.line, state), r.result);
        EXPECT_EQ(state.indentColumns, r.indentOut);
    }
}

TEST(Continucl, ClosedLoopsStayClosedUntilTheReset) {
    State state;
    state.indentColumns = 8;
    do77("do 10 i = 1, n", state);
    EXPECT_TRUE(continucl("10 continue", state));
    state.indentColumns = 8;
    EXPECT_FALSE(continucl("10 continue", state));  // already closed
    EXPECT_EQ(state.indentColumns, 8);

    do77("do 20 i = 1, n", state);
    state.doLabels.reset();
    EXPECT_FALSE(continucl("20 continue", state));
    EXPECT_EQ(state.indentColumns, 8);
    EXPECT_EQ(state.doLabels.doLabelCount, 0);
}

TEST(Continucl, ALineThatOpensAndClosesItsOwnLoop) {
    State state;
    state.indentColumns = 12;
    const std::string line = "10 DO 10 I = 1, N";
    do77(line, state);
    EXPECT_TRUE(continucl(line, state));
    EXPECT_EQ(state.indentColumns, 8);
    EXPECT_EQ(state.doLabels.doLabelCount, 1);
}

// No 16-bit limits on the record or on the step back: thousands of loops
// sharing one label all close at once, floored at 0.
TEST(Continucl, ManyLoopsWithoutOverflow) {
    State state;
    for (int k = 0; k < 40000; ++k) do77("do 10 i = 1, n", state);
    EXPECT_EQ(state.doLabels.doLabelCount, 40000);
    state.indentColumns = 32764;
    EXPECT_TRUE(continucl("10 continue", state));
    EXPECT_EQ(state.indentColumns, 0);
    EXPECT_EQ(openLoops(state, "10"), 0);
}

// Qt sets the process locale from the environment; a decimal comma must not
// change how a label such as 0.5 reads (it is a number, not zero). Values
// beyond a double's range read as infinite or as zero, as before.
TEST(Do77, NumbersReadTheSameUnderADecimalCommaLocale) {
    const char* found = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8", "nl_NL.UTF-8"}) {
        if (std::setlocale(LC_ALL, name) != nullptr && std::localeconv()->decimal_point[0] == ',') {
            found = name;
            break;
        }
    }
    if (found == nullptr) {
        std::setlocale(LC_ALL, "C");
        GTEST_SKIP() << "no locale with a decimal comma is installed (the set-up script generates de_DE.UTF-8)";
    }
    double parsed = 0;
    std::sscanf("0,5", "%lf", &parsed);
    ASSERT_EQ(parsed, 0.5) << found << " is in force";  // the C library now reads a decimal comma
    const struct {
        const char* token;
        bool nonZero;
    } rows[] = {{"0.5", true}, {".5", true}, {"+0.5e1", true}, {"0.0", false}, {"1e400", true},
                {"1e-400", false}, {"0.000e999", false}, {"-2.5d-3", true}};
    for (const auto& r : rows) EXPECT_EQ(readsAsNonZero(r.token), r.nonZero) << r.token;
    State state;
    do77("do 0.5 i = 1, 2", state);
    EXPECT_EQ(state.doLabels.doLabelCount, 1);
    std::setlocale(LC_ALL, "C");
}

}  // namespace
}  // namespace codekiln
