// The modern layout: construct groups as input -> expected pairs, broken
// structure, and a property over the project's own sample sources (only
// leading and trailing blanks change, and a second pass changes nothing).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/format/modern_layout.h"

namespace codekiln {
namespace {

struct Case {
    const char* name;
    const char* input;
    const char* expected;
};

const Case kCases[] = {
    {"units_and_contains",
     "module m\ncontains\n  pure recursive integer function f(x)\nf = x\nend function\n"
     "subroutine s\n   end\ntype(t) function g()\ntype(t) :: h\nend function g\nend module m\n",
     "module m\ncontains\n   pure recursive integer function f(x)\n      f = x\n   end function\n"
     "   subroutine s\n   end\n   type(t) function g()\n      type(t) :: h\n   end function g\nend module m\n"},
    {"do_forms_and_labels",
     "do i = 1, n\ndo while (x)\nx = .false.\nend do\nenddo\ndo 10 i = 1, n\ndo 10 j = 1, n\n"
     "a(i,j) = 0\n10 continue\ndo concurrent (i=1:n)\nend do\n",
     "do i = 1, n\n   do while (x)\n      x = .false.\n   end do\nenddo\ndo 10 i = 1, n\n   do 10 j = 1, n\n"
     "      a(i,j) = 0\n10 continue\ndo concurrent (i=1:n)\nend do\n"},
    {"if_forms",
     "if (a) then\nx = 1\nelse if (b) then\nx = 2\nelse\nif (c) x = 3\nend if\n"
     "outer: if (d) &\n  then\ny = 1\nendif outer\n",
     "if (a) then\n   x = 1\nelse if (b) then\n   x = 2\nelse\n   if (c) x = 3\nend if\n"
     "outer: if (d) &\n  then\n   y = 1\nendif outer\n"},
    {"select_and_friends",
     "select case (k)\ncase (1)\nx = 1\ncase default\nx = 2\nend select\n"
     "select type (p)\ntype is (integer)\nclass default\nend select\n",
     "select case (k)\ncase (1)\n   x = 1\ncase default\n   x = 2\nend select\n"
     "select type (p)\ntype is (integer)\nclass default\nend select\n"},
    {"types_interfaces_blocks",
     "type, public :: t\ninteger :: i\nend type\ntype(t) :: v\nabstract interface\nsubroutine cb()\nend subroutine\n"
     "end interface\nassociate (a => b)\nblock\nwhere (m)\nm = 0\nelsewhere\nm = 1\nend where\nend block\nend associate\n",
     "type, public :: t\n   integer :: i\nend type\ntype(t) :: v\nabstract interface\n   subroutine cb()\n   end subroutine\n"
     "end interface\nassociate (a => b)\n   block\n      where (m)\n         m = 0\n      elsewhere\n         m = 1\n      end where\n"
     "   end block\nend associate\n"},
    {"not_constructs",
     "program p\ndo = 1\nif (x) y = 2\nwhere (m) m = 0\nend = 3\nx = 'do'; if (q) then\nz = \"end if\"\nend if\nend program\n",
     "program p\n   do = 1\n   if (x) y = 2\n   where (m) m = 0\n   end = 3\n   x = 'do'; if (q) then\n      z = \"end if\"\n   end if\nend program\n"},
    {"comments_directives_continuations",
     "subroutine s\ncall f(a, &\n      b)\n ! body\n! column one\n!$omp parallel\n  !dir$ ivdep\n  x = 1 ! trailing\n  ! last in body\n! flush with code\nend subroutine\n",
     "subroutine s\n   call f(a, &\n         b)\n   ! body\n! column one\n!$omp parallel\n  !dir$ ivdep\n   x = 1 ! trailing\n   ! last in body\n   ! flush with code\nend subroutine\n"},
    {"preprocessor_branches",
     "subroutine s\n#ifdef A\nif (a) then\n#else\nif (b) then\n#endif\nx = 1\nend if\nend\n",
     "subroutine s\n#ifdef A\n   if (a) then\n#else\n   if (b) then\n#endif\n      x = 1\n   end if\nend\n"},
    {"fypp_branches",
     "subroutine s\n#:if DEBUG\nif (a) then\n#:else\nif (b) then\n#:endif\nx = 1\nend if\n#:for k in KINDS\ny = 1\n#:endfor\nend\n",
     "subroutine s\n#:if DEBUG\n   if (a) then\n#:else\n   if (b) then\n#:endif\n      x = 1\n   end if\n#:for k in KINDS\n"
     "   y = 1\n#:endfor\nend\n"},
    {"column_one_comment_before_code_moved_to_column_one",
     "subroutine s\nx = 1\n! note\n  end subroutine\n",
     "subroutine s\n   x = 1\n   ! note\nend subroutine\n"},
    {"comments_before_preprocessor_lines",
     "subroutine s\n! opens\n#ifdef A\nx = 1\n! A\n#else\n  ! other\n#endif\nend\n",
     "subroutine s\n   ! opens\n#ifdef A\n   x = 1\n! A\n#else\n   ! other\n#endif\nend\n"},
    {"format_off_keeps_bytes_and_structure",
     "program p\n! codekiln: off\n do i=1,2   \n! CodeKiln: On\nx=1\nend do\nend\n",
     "program p\n! codekiln: off\n do i=1,2   \n! CodeKiln: On\n      x=1\n   end do\nend\n"},
    {"line_ends_and_blanks",
     "program p\r\n  x = 1 \t\r\n   \n\ty = 2\nend",
     "program p\r\n   x = 1\r\n\n   y = 2\nend"},
    {"continued_constant_keeps_its_blanks",
     "program p\nx = 'ab &\n    cd'\ny = 'ef &\n    &gh'\nend\n",
     "program p\n   x = 'ab &\n    cd'\n   y = 'ef &\n       &gh'\nend\n"},
    {"continued_constant_over_an_empty_line",
     "program p\nx = 'ab &\n\n    cd'\nend\n",
     "program p\n   x = 'ab &\n\n    cd'\nend\n"},
    {"omp_conditional_code_counts",
     "subroutine s\n!$ if (a) then\nx = 1\n!$ end if\nend\n",
     "subroutine s\n!$ if (a) then\n      x = 1\n!$ end if\nend\n"},
};

TEST(ModernLayout, ConstructGroups) {
    ModernOptions options;
    options.indentWidth = 3;
    for (const Case& c : kCases) {
        ModernFile out = formatModern(c.input, options);
        EXPECT_EQ(out.text, c.expected) << c.name;
        EXPECT_TRUE(out.warnings.empty()) << c.name << ": " << out.warnings.front().message;
        EXPECT_EQ(formatModern(out.text, options).text, out.text) << c.name << " (second pass)";
    }
}

std::string repeated(const std::string& s, int n) {
    std::string r;
    for (int k = 0; k < n; ++k) r += s;
    return r;
}

// Runs of lines far longer than the layout reads at a time: comments waiting
// for their statement, one statement continued over many lines with comments
// and blank lines inside, a format-off region, comments closing the file.
TEST(ModernLayout, LongRunsOfLines) {
    const int n = 3000;
    struct Long { const char* name; std::string input, expected; };
    const Long cases[] = {
        {"comments_before_a_statement", "subroutine s\n" + repeated("  ! c\n\n", n) + "x = 1\nend\n",
         "subroutine s\n" + repeated("   ! c\n\n", n) + "   x = 1\nend\n"},
        {"continued_statement", "subroutine s\r\ncall f(a, &\r\n" + repeated("  ! c\r\n\r\n  b, &\r\n", n) + "  c)\r\nend\r\n",
         "subroutine s\r\n   call f(a, &\r\n" + repeated("     ! c\r\n\r\n     b, &\r\n", n) + "     c)\r\nend\r\n"},
        {"format_off", "program p\n! codekiln: off\n" + repeated(" do i=1,2   \n  end do\n", n) + "! codekiln: on\nx=1\nend\n",
         "program p\n! codekiln: off\n" + repeated(" do i=1,2   \n  end do\n", n) + "! codekiln: on\n   x=1\nend\n"},
        {"comments_at_the_end", "program p\nend\n" + repeated("  ! c\n", n), "program p\nend\n" + repeated("! c\n", n)},
    };
    ModernOptions options;
    options.indentWidth = 3;
    for (const Long& c : cases) {
        ModernFile out = formatModern(c.input, options);
        EXPECT_TRUE(out.text == c.expected) << c.name;
        EXPECT_TRUE(out.warnings.empty()) << c.name;
    }
    // Fixed form: one statement continued over many lines, comment and blank lines between.
    options.form = SourceForm::Fixed;
    const ModernFile fixed =
        formatModern("      SUBROUTINE S\n      CALL F(A,\n" + repeated("C     C\n\n     $  B,\n", n) + "     $  C)\n      END\n",
                     options);
    EXPECT_TRUE(fixed.text == "      SUBROUTINE S\n         CALL F(A,\n" + repeated("C     C\n\n     $     B,\n", n) +
                                  "     $     C)\n      END\n");
    EXPECT_TRUE(fixed.warnings.empty());
}

TEST(ModernLayout, FixedFormMovesOnlyTheStatementText) {
    ModernOptions options;
    options.indentWidth = 3;
    options.form = SourceForm::Fixed;
    const std::string in =
        "      SUBROUTINE S\nC     KEPT\n      DO 10 I = 1, N\n      X = 'AB\n     $CD'\n"
        "      IF (X) THEN\n      WRITE (6, *) X,\n     $   Y\n      END IF\n   10 CONTINUE\n      END\n";
    const std::string expected =
        "      SUBROUTINE S\nC     KEPT\n         DO 10 I = 1, N\n      X = 'AB\n     $CD'\n"
        "            IF (X) THEN\n               WRITE (6, *) X,\n     $            Y\n            END IF\n"
        "   10    CONTINUE\n      END\n";
    ModernFile out = formatModern(in, options);
    EXPECT_EQ(out.text, expected);
    EXPECT_TRUE(out.warnings.empty());
    EXPECT_EQ(formatModern(out.text, options).text, out.text);

    // The two branches of an #ifdef both start from the structure at the #ifdef.
    out = formatModern("      SUBROUTINE S\n#ifdef A\n      IF (A) THEN\n#else\n      IF (B) THEN\n#endif\n"
                       "      X = 1\n      END IF\n      END\n",
                       options);
    EXPECT_EQ(out.text, "      SUBROUTINE S\n#ifdef A\n         IF (A) THEN\n#else\n         IF (B) THEN\n#endif\n"
                        "            X = 1\n         END IF\n      END\n");
    EXPECT_TRUE(out.warnings.empty());
}

// Fixed-form statements whose layout a second pass used to move again.
struct FixedCase {
    const char* name;
    std::string input;
    std::string expected;
};

const FixedCase kFixedCases[] = {
    {"continuation_after_a_line_with_only_a_label",
     "      IF (A) THEN\n   20\n     $X = 1\n      END IF\n",
     "      IF (A) THEN\n   20\n     $   X = 1\n      END IF\n"},
    {"first_line_too_long_to_move_holds_its_continuations",
     "      IF (A) THEN\n      X = " + std::string(61, 'Y') + "\n     $  + 1\n      END IF\n",
     "      IF (A) THEN\n      X = " + std::string(61, 'Y') + "\n     $  + 1\n      END IF\n"},
    {"first_line_in_a_continued_constant_holds_its_continuations",
     "      IF (A) THEN\n      CALL F('AB\n     $CD',\n     $     N)\n      END IF\n",
     "      IF (A) THEN\n      CALL F('AB\n     $CD',\n     $     N)\n      END IF\n"},
    {"continuation_pushed_past_column_72_loses_only_trailing_blanks",
     "      IF (A) THEN\n      X = F(A,\n     $ " + std::string(63, 'Y') + "  \n      END IF\n",
     "      IF (A) THEN\n         X = F(A,\n     $ " + std::string(63, 'Y') + "\n      END IF\n"},
    {"statement_read_alike_whatever_blanks_start_its_continuation",
     "      DO 20 J = 1, 2\n   20 CONTINUE\n     $T = 1\n",
     "      DO 20 J = 1, 2\n   20 CONTINUE\n     $T = 1\n"},
};

TEST(ModernLayout, FixedFormSecondPassChangesNothing) {
    ModernOptions options;
    options.indentWidth = 3;
    options.form = SourceForm::Fixed;
    for (const FixedCase& c : kFixedCases) {
        const std::string once = formatModern(c.input, options).text;
        EXPECT_EQ(once, c.expected) << c.name;
        EXPECT_EQ(formatModern(once, options).text, once) << c.name << " (second pass)";
    }
}

TEST(ModernLayout, BrokenStructureIsReportedAndStillLaidOut) {
    ModernOptions options;
    options.indentWidth = 2;
    ModernFile out = formatModern("end do\nsubroutine s\nif (a) then\nx = 1\n", options);
    EXPECT_EQ(out.text, "end do\nsubroutine s\n  if (a) then\n    x = 1\n");
    ASSERT_EQ(out.warnings.size(), 3u);
    EXPECT_EQ(out.warnings[0].line, 1);
    EXPECT_EQ(out.warnings[0].message, "end do closes nothing");
    EXPECT_EQ(out.warnings[1].line, 0);
    EXPECT_EQ(out.warnings[1].message, "subroutine at line 2 is never closed");
    EXPECT_EQ(out.warnings[2].message, "if at line 3 is never closed");

    out = formatModern("subroutine s\ndo i = 1, n\nend if\nend subroutine\n", options);
    ASSERT_EQ(out.warnings.size(), 2u);
    EXPECT_EQ(out.warnings[0].line, 3);
    EXPECT_EQ(out.warnings[0].message, "end if does not match do at line 2");
    EXPECT_EQ(out.warnings[1].line, 4);

    // Middle lines that belong to nothing open are named, and laid out as before.
    out = formatModern("subroutine s\ndo i = 1, n\nelse\nend do\ncase (1)\ncontains\nend subroutine\nelse if (a) then\n"
                       "type t\ncontains\nend type\n",
                       options);
    EXPECT_EQ(out.text, "subroutine s\n  do i = 1, n\n  else\n  end do\n  case (1)\ncontains\nend subroutine\n"
                        "else if (a) then\ntype t\ncontains\nend type\n");
    const std::pair<std::int64_t, std::string> middles[] = {
        {3, "else does not match do at line 2"},
        {5, "case does not match subroutine at line 1"},
        {8, "else if outside any construct"},
    };
    ASSERT_EQ(out.warnings.size(), std::size(middles));
    for (std::size_t k = 0; k < std::size(middles); ++k) {
        EXPECT_EQ(out.warnings[k].line, middles[k].first);
        EXPECT_EQ(out.warnings[k].message, middles[k].second);
    }
}

// Lines of a text with their line ends.
std::vector<std::string> splitKeepingEnds(const std::string& s) {
    std::vector<std::string> lines;
    std::size_t p = 0;
    while (p < s.size()) {
        std::size_t e = s.find('\n', p);
        e = e == std::string::npos ? s.size() : e + 1;
        lines.push_back(s.substr(p, e - p));
        p = e;
    }
    return lines;
}

std::string core(const std::string& line, std::string* end) {
    std::size_t e = line.size();
    while (e > 0 && (line[e - 1] == '\n' || line[e - 1] == '\r')) --e;
    *end = line.substr(e);
    std::size_t b = line.find_first_not_of(" \t");
    if (b >= e) return "";
    std::size_t l = line.find_last_not_of(" \t", e - 1);
    return line.substr(b, l + 1 - b);
}

TEST(ModernLayout, SampleSourcesChangeOnlyTheirBlanks) {
    std::vector<std::filesystem::path> files;
    for (const char* dir : {CODEKILN_EXAMPLES_DIR, CODEKILN_GOLDEN_DIR}) {
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
            if (e.path().extension() == ".f90") files.push_back(e.path());
        }
    }
    ASSERT_FALSE(files.empty());
    for (int width : {2, 3, 8}) {
        ModernOptions options;
        options.indentWidth = width;
        for (const auto& path : files) {
            std::ifstream f(path, std::ios::binary);
            std::stringstream ss;
            ss << f.rdbuf();
            std::string in = ss.str();
            std::string out = formatModern(in, options).text;
            EXPECT_EQ(formatModern(out, options).text, out) << path << " not idempotent";
            auto a = splitKeepingEnds(in), b = splitKeepingEnds(out);
            ASSERT_EQ(a.size(), b.size()) << path;
            for (std::size_t i = 0; i < a.size(); ++i) {
                std::string ea, eb;
                std::string ca = core(a[i], &ea), cb = core(b[i], &eb);
                EXPECT_EQ(ca, cb) << path << ":" << i + 1;
                EXPECT_EQ(ea, eb) << path << ":" << i + 1;
                bool keptAsIs = !ca.empty() && (ca[0] == '#' || ca.rfind("!$", 0) == 0);
                if (!keptAsIs && !cb.empty()) {
                    EXPECT_EQ(b[i].size() - b[i].find_first_not_of(' '), cb.size() + eb.size()) << path << ":" << i + 1;
                }
            }
        }
    }
}

}  // namespace
}  // namespace codekiln
