// Reading and cleaning: what each raw line becomes in the line store, which
// lines are dropped, how code lines are counted, and how character constants
// (also those continued over several lines) keep their blanks.
#include "engine/format/stored_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "banner_shapes.h"

namespace codekiln {
namespace {

using namespace codekiln::testing;

struct Stored {
    std::vector<std::string> texts;
    std::vector<bool> verbatim;
    std::int64_t lineCount;
};

Stored read(const std::vector<std::string>& raw, bool removeBlankLines = false) {
    FormatOptions options;
    options.removeBlankLines = removeBlankLines;
    const std::vector<std::string_view> views(raw.begin(), raw.end());
    const ReadResult r = readStoredLines(views, options);
    Stored s{{}, {}, r.lineCount};
    for (std::size_t i = 0; i < r.stored.size(); ++i) {
        s.texts.emplace_back(r.stored.text(i));
        s.verbatim.push_back(r.stored.verbatim(i));
    }
    return s;
}

const char* const kDropped = "\x01dropped";

TEST(ReadStoredLines, CleaningAndCountingOfSingleLines) {
    const struct {
        std::string raw;
        bool removeBlankLines;
        std::string stored;  // kDropped: not stored
        int counted;
    } rows[] = {
        {"  x = 1  ", false, "x = 1", 1},
        {"\t\tx = 1", false, "x = 1", 1},
        {"\t  x = 1", false, "x = 1", 1},
        {" \tx = 1", false, "x = 1", 1},
        {"\t  \tx = 1", false, "\tx = 1", 1},  // only tabs at the very start go
        {"\t! note", false, "! note", 1},      // counted: its first character is the tab
        {"   ! note", false, "! note", 0},
        {"", false, "", 0},
        {"", true, kDropped, 0},
        {"   ", true, kDropped, 0},
        {"\t\t", false, "", 1},
        {"\t\t", true, kDropped, 1},  // counted before it is dropped
        {"x =\t1\t", false, "x =\t1\t", 1},
        {"a    =    b", false, "a = b", 1},
        {"a        b", false, "a  b", 1},
        {"a      b", false, "a   b", 1},
        {"a     b", false, "a  b", 1},
        {"a   b", false, "a   b", 1},
        {"x  =  1", false, "x  =  1", 1},
        {"!    four    blanks", false, "! four blanks", 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE("raw: '" + r.raw + "'");
        const Stored s = read({r.raw}, r.removeBlankLines);
        EXPECT_EQ(s.lineCount, r.counted);
        if (r.stored == kDropped) {
            EXPECT_TRUE(s.texts.empty());
        } else {
            ASSERT_EQ(s.texts.size(), 1u);
            EXPECT_EQ(s.texts[0], r.stored);
            EXPECT_FALSE(s.verbatim[0]);
        }
    }
}

// Only the exact banner lines this tool writes are dropped; people's boxed
// comments and code with "! *" in a trailing comment stay.
TEST(ReadStoredLines, DropsOnlyTheToolsOwnBannerLines) {
    const std::string longName(40, 'n');
    const struct {
        std::string raw;
        std::string stored;  // kDropped: not stored
    } rows[] = {
        {headerRule(), kDropped},
        {"\t" + headerRule(), kDropped},
        {"  " + headerRule() + "  ", kDropped},
        {headerTitle(), kDropped},
        {headerCountLine("000010"), kDropped},
        {headerCountLine("1234567"), kDropped},
        {separatorRule(), kDropped},
        {bannerLine(titlePrefix() + "foo"), kDropped},
        {bannerLine(titlePrefix() + longName), kDropped},
        {bannerLine(argumentPrefix() + " b"), kDropped},
        {bannerLine(argumentPrefix() + "'a    b'"), kDropped},
        {bannerLine(""), kDropped},  // an empty title line
        {"! * boxed comment *", "! * boxed comment *"},
        {"! ***** my box *****", "! ***** my box *****"},
        {"x = 1 ! * note", "x = 1 ! * note"},
        {"y = a * ! b", "y = a * ! b"},
        {"! " + stars(96) + "!", "! " + stars(96) + "!"},
        {"! " + stars(98) + "!", "! " + stars(98) + "!"},
        {lineEnd() + " x", lineEnd() + " x"},
        // Five digits are not a count this tool writes; its blank runs shrink.
        {headerCountLine("12345"), "! " + stars(22) + blanks(4) + "12345(行)" + blanks(4) + stars(33) + "!"},
        {titlePrefix() + "foo", "! " + stars(15) + blanks(5) + "程序: foo"},
        {titlePrefix() + "foo" + lineEnd(), "! " + stars(15) + blanks(5) + "程序: foo" + lineEnd()},
        {headerCountLine("03276x"),
         "! " + stars(22) + blanks(4) + "03276x(行)" + blanks(4) + stars(33) + "!"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE("raw: '" + r.raw + "'");
        const Stored s = read({r.raw});
        if (r.stored == kDropped) {
            EXPECT_TRUE(s.texts.empty());
        } else {
            ASSERT_EQ(s.texts.size(), 1u);
            EXPECT_EQ(s.texts[0], r.stored);
        }
    }
    EXPECT_EQ(read({"x = 1 ! * note", "y = a * ! b"}).lineCount, 2);
}

TEST(ReadStoredLines, CharacterConstantsKeepTheirBlanks) {
    const struct {
        std::string raw;
        std::string stored;
    } rows[] = {
        {"x    =    'a    b'", "x = 'a    b'"},
        {"x    =    \"a    b\"    //    'c    d'", "x = \"a    b\" // 'c    d'"},
        {"s = 'it''s    x'    !    note    here", "s = 'it''s    x' ! note here"},
        {"s = \"say \"\"hi    there\"\"\"    ; t = 1", "s = \"say \"\"hi    there\"\"\" ; t = 1"},
        {"print *, \"it's    ok\"", "print *, \"it's    ok\""},
        {"'a'    'b'", "'a' 'b'"},
        {"x    = 1 ! don't    do", "x = 1 ! don't do"},  // a quote in a comment opens nothing
        {"x = 1    !    'quoted    text'", "x = 1 ! 'quoted text'"},
        {"!    'a    b'", "! 'a b'"},  // a comment line collapses everywhere
        {"s = 'open    to    the end", "s = 'open    to    the end"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE("raw: '" + r.raw + "'");
        const Stored s = read({r.raw});
        ASSERT_EQ(s.texts.size(), 1u);
        EXPECT_EQ(s.texts[0], r.stored);
    }
}

TEST(ReadStoredLines, ConstantsContinuedOnLaterLines) {
    const struct {
        std::vector<std::string> raw;
        std::vector<std::string> stored;
        std::vector<bool> verbatim;
    } rows[] = {
        // Resumes at the line's start: leading blanks belong to the constant.
        {{"s = 'abc    &", "        def    ghi'    //    x   "},
         {"s = 'abc    &", "        def    ghi' // x"},
         {false, true}},
        // Resumes after a leading "&".
        {{"t = 'abc &", "    &def    ghi'"}, {"t = 'abc &", "&def    ghi'"}, {false, false}},
        // Blank and comment lines do not interrupt the constant.
        {{"s = 'abc &", "", "! note    here", "  def'   "},
         {"s = 'abc &", "", "! note here", "  def'"},
         {false, false, false, true}},
        {{"s = 'a    &", "  b    &", "\tc'    ,    d"},
         {"s = 'a    &", "  b    &", "\tc' , d"},
         {false, true, true}},
        {{"s = \"a    &", "  b'c\"    +    1"}, {"s = \"a    &", "  b'c\" + 1"}, {false, true}},
        // Not continued: the constant closes at the end of its line.
        {{"s = 'abc", "    x    =    1"}, {"s = 'abc", "x = 1"}, {false, false}},
        {{"s = 'abc & x", "    y    =    1"}, {"s = 'abc & x", "y = 1"}, {false, false}},
        {{"x = a + &", "    b    +    c"}, {"x = a + &", "b + c"}, {false, false}},
        {{"x = 1 ! it's &", "    y    =    2"}, {"x = 1 ! it's &", "y = 2"}, {false, false}},
        {{"s = 'a' // &", "    'b'"}, {"s = 'a' // &", "'b'"}, {false, false}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE("first line: '" + r.raw[0] + "'");
        const Stored s = read(r.raw);
        EXPECT_EQ(s.texts, r.stored);
        EXPECT_EQ(s.verbatim, r.verbatim);
    }
    // A continued line is still a code line.
    EXPECT_EQ(read({"s = 'abc &", "\tdef'"}).lineCount, 2);
}

TEST(ReadStoredLines, NoLimitOnTheNumberOfLines) {
    std::vector<std::string> raw;
    for (int k = 0; k < 70000; ++k) raw.push_back("x = " + std::to_string(k));
    const Stored s = read(raw);
    ASSERT_EQ(s.texts.size(), raw.size());
    EXPECT_EQ(s.lineCount, 70000);
    EXPECT_EQ(s.texts[50000], "x = 50000");
    EXPECT_EQ(s.texts.back(), "x = 69999");
}

}  // namespace
}  // namespace codekiln
