// Generates the benchmark corpus. Each file has an author's layout habits
// (indent width or tabs, capitals, CR LF, stray blanks) and is built from
// whole program units, so that it reads like code someone maintains.
// Only integer arithmetic touches the random numbers, so a seed gives the
// same bytes everywhere.
#include "corpus.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>
#include <utility>

namespace codekiln::bench {
namespace {

constexpr std::array<std::string_view, 20> kTopics = {
    "flux", "rho",  "vel",  "press", "temp",  "coef",  "grid",   "mesh",  "mass", "heat",
    "wave", "phase", "field", "solver", "state", "bound", "node", "cell", "edge", "face"};
constexpr std::array<std::string_view, 12> kArrays = {"a",   "b",    "c",     "work", "flux", "rho",
                                                      "vel", "press", "temp", "res",  "coef", "q"};
constexpr std::array<std::string_view, 8> kScalars = {"dt", "dx", "tol", "alpha", "beta", "s", "t", "eps"};
constexpr std::array<std::string_view, 6> kIndices = {"i", "j", "k", "l", "m2", "ip"};
constexpr std::array<std::string_view, 6> kOps = {" + ", " - ", " * ", " / ", " + ", " * "};
constexpr std::array<std::string_view, 6> kRelations = {" > ", " < ", " >= ", " <= ", " == ", " /= "};
constexpr std::array<std::string_view, 8> kConstants = {"0.0d0", "1.0d0", "0.5d0", "2.0_dp",
                                                        "1.0e-6_dp", "3", "tol", "huge(1.0d0)"};
// Text for comments and character constants; some of it carries runs of
// blanks, which must survive inside a constant.
constexpr std::array<std::string_view, 10> kPhrases = {
    "Iteration did not converge",  "Total    count:", "  residual  =  ", "Step      time",
    "Boundary condition applied",  "value out of range", "WARNING:    negative density",
    "read   the   input   deck",    "done", "    indented    note"};
constexpr std::array<std::string_view, 6> kChineseComments = {
    "! 计算通量", "! 边界条件处理", "! 迭代求解，直到收敛", "! 注意：数组下标从 1 开始",
    "! 输出结果", "! 初始化工作数组"};

constexpr std::size_t kMinSmall = 1500;        // smallest planned file
constexpr std::size_t kSmallOctaves = 5;       // small files span 1.5 KB .. 48 KB before scaling
constexpr std::size_t kBigFirst = 1100000;  // the big files run from 1.1 MB ...
constexpr std::size_t kBigSpan = 1400000;   // ... to 2.5 MB
// A file stops growing when it is this close to its planned size: about half
// a procedure, which puts the planned size near the middle of the last one.
constexpr std::size_t kStopMargin = 2000;
constexpr int kMaxNesting = 5;

template <std::size_t N>
std::string_view pick(Rng& rng, const std::array<std::string_view, N>& items) {
    return items[rng.below(N)];
}

/// The layout habits of one file's author.
struct Style {
    std::string unit;       // one level of indentation in the input
    bool upper = false;     // code in capitals (constants and comments as written)
    bool crlf = false;
    unsigned jitter = 0;    // chance in percent of a line indented off by a few blanks
    unsigned trailing = 0;  // chance in percent of trailing blanks
    bool caseIndented = false;  // CASE lines one level inside their SELECT
};

Style pickStyle(Rng& rng) {
    static constexpr std::array<std::string_view, 6> kUnits = {"", "  ", "   ", "    ", "\t", "    "};
    Style s;
    s.unit = std::string(pick(rng, kUnits));
    s.upper = rng.chance(15);
    s.crlf = rng.chance(25);
    s.jitter = rng.chance(30) ? 5 : 0;
    s.trailing = rng.chance(40) ? 8 : 0;
    s.caseIndented = rng.chance(50);
    return s;
}

/// Upper-cases the code part of a line: not its character constants and
/// not its trailing comment.
void upperCode(std::string& line) {
    char quote = 0;
    for (char& c : line) {
        if (quote != 0) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '!') {
            return;
        } else if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
}

/// Writes lines in one author's style.
class FileWriter {
public:
    FileWriter(Rng& rng, Style style, std::string& out) : rng_(rng), style_(std::move(style)), out_(out) {}

    /// A line of code or comment at nesting `depth`.
    void line(int depth, std::string text) {
        if (style_.upper) upperCode(text);
        for (int d = 0; d < depth; ++d) out_.append(style_.unit);
        if (style_.jitter != 0 && rng_.chance(style_.jitter)) out_.append(rng_.between(1, 3), ' ');
        out_.append(text);
        if (style_.trailing != 0 && rng_.chance(style_.trailing)) out_.append(rng_.between(1, 4), ' ');
        end();
    }
    /// A line that starts in column 1 whatever the depth (statement labels).
    void flush(std::string text) {
        if (style_.upper) upperCode(text);
        out_.append(text);
        end();
    }
    void blank() { end(); }
    std::size_t size() const { return out_.size(); }
    const Style& style() const { return style_; }

private:
    void end() { out_.append(style_.crlf ? "\r\n" : "\n"); }

    Rng& rng_;
    Style style_;
    std::string& out_;
};

/// Builds the statements of one procedure body.
class BodyWriter {
public:
    BodyWriter(Rng& rng, FileWriter& w) : rng_(rng), w_(w) {}

    void statements(int depth, int nesting, std::size_t count) {
        for (std::size_t n = 0; n < count; ++n) statement(depth, nesting);
    }

private:
    std::string ref() {
        std::string s(pick(rng_, kArrays));
        s += '(';
        s += pick(rng_, kIndices);
        s += ')';
        return s;
    }
    std::string operand() {
        const std::size_t r = rng_.below(10);
        if (r < 6) return ref();
        if (r < 8) return std::string(pick(rng_, kScalars));
        return std::string(pick(rng_, kConstants));
    }
    std::string expr(std::size_t terms) {
        std::string s = operand();
        for (std::size_t t = 1; t < terms; ++t) {
            s += pick(rng_, kOps);
            s += operand();
        }
        return s;
    }
    std::string condition() {
        std::string s = operand() + std::string(pick(rng_, kRelations)) + operand();
        if (rng_.chance(25)) s += (rng_.chance(50) ? " .and. " : " .or. ") + operand() + " > 0";
        return s;
    }
    std::string quoted(std::string_view text) {
        const char q = rng_.chance(70) ? '\'' : '"';
        return q + std::string(text) + q;
    }
    std::string loopHeader() {
        std::string s = std::string(pick(rng_, kIndices)) + " = 1, n";
        if (rng_.chance(15)) s = std::string(pick(rng_, kIndices)) + " = n, 1, -1";
        return s;
    }

    void statement(int depth, int nesting) {
        const std::size_t r = rng_.below(100);
        // Deeper levels open fewer blocks, so that a procedure stays a few kB.
        const bool canNest = nesting < kMaxNesting && rng_.below(kMaxNesting) >= static_cast<std::size_t>(nesting);
        if (r < 30) {
            w_.line(depth, ref() + " = " + expr(rng_.between(1, 5)));
        } else if (r < 37) {
            w_.line(depth, "call " + std::string(pick(rng_, kTopics)) + "_update(" + ref() + ", " +
                               std::string(pick(rng_, kScalars)) + ", n)");
        } else if (r < 43) {
            w_.line(depth, "! " + std::string(pick(rng_, kPhrases)));
        } else if (r < 47) {
            w_.blank();
        } else if (r < 53) {
            w_.line(depth, "write(*, '(a, es12.4)') " + quoted(pick(rng_, kPhrases)) + ", " + ref());
        } else if (r < 58) {
            continued(depth);
        } else if (r < 62) {
            w_.line(depth, "if (" + condition() + ") " + ref() + " = " + expr(2));
        } else if (r < 64) {
            w_.line(depth, ref() + " = " + expr(2) + "  ! " + std::string(pick(rng_, kPhrases)));
        } else if (!canNest || r < 70) {
            w_.line(depth, std::string(pick(rng_, kScalars)) + " = " + expr(3));
        } else if (r < 81) {
            ifBlock(depth, nesting);
        } else if (r < 89) {
            doBlock(depth, nesting);
        } else if (r < 93) {
            labelledDo(depth, nesting);
        } else if (r < 96) {
            selectBlock(depth, nesting);
        } else if (r < 98) {
            w_.line(depth, "do while (" + condition() + ")");
            body(depth + 1, nesting + 1);
            w_.line(depth, "end do");
        } else {
            sharedLabelDo(depth, nesting);
        }
    }

    void body(int depth, int nesting) { statements(depth, nesting, rng_.between(1, nesting < 2 ? 4 : 2)); }

    void continued(int depth) {
        const std::size_t kind = rng_.below(4);
        if (kind == 0) {
            // A character constant carried over the line end.
            w_.line(depth, "msg = '" + std::string(pick(rng_, kPhrases)) + " &");
            w_.line(depth + 1, "&" + std::string(pick(rng_, kPhrases)) + "'");
            return;
        }
        w_.line(depth, ref() + " = " + expr(3) + " &");
        w_.line(depth + 2, (kind == 1 ? "& " : "") + std::string(pick(rng_, kOps)).substr(1) + expr(3) + " &");
        w_.line(depth + 2, std::string(pick(rng_, kOps)).substr(1) + expr(2));
    }

    void ifBlock(int depth, int nesting) {
        w_.line(depth, "if (" + condition() + ") then");
        body(depth + 1, nesting + 1);
        if (rng_.chance(30)) {
            w_.line(depth, (rng_.chance(50) ? "else if (" : "elseif (") + condition() + ") then");
            body(depth + 1, nesting + 1);
        }
        if (rng_.chance(40)) {
            w_.line(depth, "else");
            body(depth + 1, nesting + 1);
        }
        w_.line(depth, rng_.chance(60) ? "end if" : "endif");
    }

    void doBlock(int depth, int nesting) {
        w_.line(depth, "do " + loopHeader());
        body(depth + 1, nesting + 1);
        w_.line(depth, rng_.chance(60) ? "end do" : "enddo");
    }

    std::string newLabel() {
        label_ += 10;
        return std::to_string(label_);
    }

    void labelledDo(int depth, int nesting) {
        const std::string label = newLabel();
        w_.line(depth, "do " + label + " " + loopHeader());
        body(depth + 1, nesting + 1);
        if (rng_.chance(50))
            w_.flush(label + " continue");
        else
            w_.line(depth, label + " continue");
    }

    /// Two loops ending at one labelled statement, as older code does.
    void sharedLabelDo(int depth, int nesting) {
        const std::string label = newLabel();
        w_.line(depth, "do " + label + " j = 1, m");
        w_.line(depth + 1, "do " + label + " i = 1, n");
        body(depth + 2, nesting + 2);
        w_.flush(label + " continue");
    }

    void selectBlock(int depth, int nesting) {
        const int caseDepth = w_.style().caseIndented ? depth + 1 : depth;
        w_.line(depth, "select case (mode)");
        const std::size_t cases = rng_.between(2, 4);
        for (std::size_t c = 1; c <= cases; ++c) {
            w_.line(caseDepth, "case (" + std::to_string(c) + ")");
            body(caseDepth + 1, nesting + 1);
        }
        if (rng_.chance(60)) {
            w_.line(caseDepth, "case default");
            body(caseDepth + 1, nesting + 1);
        }
        w_.line(depth, "end select");
    }

    Rng& rng_;
    FileWriter& w_;
    int label_ = 0;
};

void declarations(FileWriter& w, int depth, const std::string& args) {
    w.line(depth, "implicit none");
    w.line(depth, "integer, intent(in) :: n");
    if (!args.empty()) w.line(depth, "real(dp), intent(inout) :: " + args);
    w.line(depth, "integer :: i, j, k, l, m2, ip, m, mode");
    w.line(depth, "real(dp) :: dt, dx, alpha, beta, s, t, eps");
    w.line(depth, "real(dp) :: work(n), res(n), q(n)");
    w.line(depth, "character(len=80) :: msg");
}

void procedure(Rng& rng, FileWriter& w, int depth, std::string_view prefix, std::size_t index) {
    const std::string name = std::string(prefix) + "_" + std::string(pick(rng, kTopics)) + std::to_string(index);
    const bool function = rng.chance(30);
    w.blank();
    if (rng.chance(50)) w.line(depth, "! " + std::string(pick(rng, kPhrases)));
    if (function) {
        w.line(depth, std::string(rng.chance(30) ? "pure " : "") + "function " + name + "(a, n) result(y)");
        declarations(w, depth + 1, "a(n)");
        w.line(depth + 1, "real(dp) :: y");
    } else {
        w.line(depth, "subroutine " + name + "(a, b, c, n)");
        declarations(w, depth + 1, "a(n), b(n), c(n)");
    }
    w.blank();
    BodyWriter body(rng, w);
    body.statements(depth + 1, 0, rng.between(6, 30));
    if (function) w.line(depth + 1, "y = " + std::string(pick(rng, kScalars)));
    w.line(depth, std::string(function ? "end function " : "end subroutine ") + name);
}

void moduleHead(Rng& rng, FileWriter& w, const std::string& name) {
    w.line(0, "module " + name);
    w.line(1, "use iso_fortran_env, only: real64");
    w.line(1, "implicit none");
    w.line(1, "integer, parameter :: dp = real64");
    w.line(1, "real(dp), parameter :: tol = 1.0e-8_dp");
    if (rng.chance(15)) {
        w.line(1, "type :: " + std::string(pick(rng, kTopics)) + "_t");
        w.line(2, "real(dp), allocatable :: v(:)");
        w.line(2, "integer :: count = 0");
        w.line(1, "end type");
    }
    w.line(0, "contains");
}

}  // namespace

std::uint64_t Rng::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::size_t Rng::below(std::size_t n) { return static_cast<std::size_t>(next() % n); }

std::vector<CorpusFile> corpusPlan(const CorpusOptions& options) {
    Rng rng(options.seed);
    std::vector<CorpusFile> plan;
    plan.reserve(options.files);
    const std::size_t big = std::min(options.bigFiles, options.files);

    std::vector<bool> isBig(options.files, false);
    std::size_t bigBytes = 0;
    for (std::size_t k = 0; k < big; ++k) {
        isBig[(2 * k + 1) * options.files / (2 * big)] = true;
        bigBytes += kBigFirst + (big > 1 ? k * kBigSpan / (big - 1) : 0);
    }

    std::size_t smallSum = 0;
    std::size_t bigIndex = 0;
    for (std::size_t i = 0; i < options.files; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "f%05zu_%s.f90", i + 1, std::string(pick(rng, kTopics)).c_str());
        std::size_t bytes;
        if (isBig[i]) {
            bytes = kBigFirst + (big > 1 ? bigIndex * kBigSpan / (big - 1) : 0);
            ++bigIndex;
        } else {
            // Log-uniform in whole octaves, uniform within the octave.
            const std::size_t octave = kMinSmall << rng.below(kSmallOctaves);
            bytes = octave + rng.below(octave);
            smallSum += bytes;
        }
        plan.push_back(CorpusFile{name, bytes, rng.next()});
    }

    // Scale the small files so that the whole corpus comes to the total.
    const std::size_t smallTotal = options.totalBytes > bigBytes ? options.totalBytes - bigBytes : 0;
    for (std::size_t i = 0; i < options.files && smallSum > 0; ++i) {
        if (isBig[i]) continue;
        const unsigned __int128 scaled = static_cast<unsigned __int128>(plan[i].targetBytes) * smallTotal / smallSum;
        plan[i].targetBytes = std::max<std::size_t>(static_cast<std::size_t>(scaled), 200);
    }
    return plan;
}

std::string generateFile(const CorpusFile& file) {
    Rng rng(file.seed);
    std::string out;
    out.reserve(file.targetBytes + 16 * kStopMargin);
    const std::size_t stopAt = file.targetBytes - std::min(kStopMargin, file.targetBytes / 3);
    FileWriter w(rng, pickStyle(rng), out);

    const std::string stem = file.name.substr(0, file.name.find('.'));
    w.line(0, "! " + stem + ": " + std::string(pick(rng, kPhrases)));
    if (rng.chance(20)) w.line(0, std::string(pick(rng, kChineseComments)));
    w.line(0, "!");

    // A few small files are main programs; the rest hold modules.
    std::size_t index = 0;
    if (file.targetBytes < 4000 && rng.chance(30)) {
        w.line(0, "program " + stem);
        w.line(1, "use iso_fortran_env, only: real64");
        w.line(1, "implicit none");
        w.line(1, "integer, parameter :: dp = real64");
        w.line(1, "real(dp) :: a(100)");
        w.line(1, "call " + stem + "_run(a, a, a, 100)");
        w.line(0, "contains");
        do {
            procedure(rng, w, 1, stem, ++index);
        } while (out.size() < stopAt);
        w.line(0, "end program " + stem);
        return out;
    }

    for (std::size_t module = 1; out.size() < file.targetBytes; ++module) {
        const std::string name = "m_" + stem + "_" + std::to_string(module);
        moduleHead(rng, w, name);
        const std::size_t procedures = rng.between(3, 12);
        for (std::size_t p = 0; p < procedures; ++p) {
            procedure(rng, w, 1, stem, ++index);
            if (out.size() >= stopAt) break;
        }
        w.line(0, rng.chance(70) ? "end module " + name : "end module");
        if (out.size() >= stopAt) break;
        w.blank();
    }
    return out;
}

std::string labelledDoFile(std::size_t loops) {
    std::string out;
    out.reserve(loops * 60 + 256);
    out += "program labelled_loops\n  implicit none\n  integer :: i, j, n\n  real :: a(100, 100)\n";
    std::size_t k = 0;
    while (k < loops) {
        const std::string label = std::to_string(1 + k % 99999);  // labels are one to five digits
        if (k % 5 == 4 && k + 2 <= loops) {
            out += "  do " + label + " j = 1, n\n    do " + label + " i = 1, n\n";
            out += "      a(i, j) = a(i, j) * 0.5\n" + label + " continue\n";
            k += 2;
        } else {
            out += "  do " + label + " i = 1, n\n    a(i, 1) = a(i, 1) + 1.0\n" + label + " continue\n";
            ++k;
        }
    }
    out += "end program labelled_loops\n";
    return out;
}

std::string nestedBlocksFile(std::size_t depth) {
    std::string out;
    out.reserve(depth * 80 + 256);
    out += "subroutine deep(a, n, mode)\n  integer :: n, mode, i\n  real :: a(n)\n";
    for (std::size_t d = 0; d < depth; ++d) {
        const std::string level = std::to_string(d);
        switch (d % 3) {
            case 0: out += "if (a(1) > " + level + ".0) then\n"; break;
            case 1: out += "do i = 1, n\n"; break;
            default: out += "select case (mode)\ncase (" + level + ")\n"; break;
        }
        out += "a(1) = a(1) + " + level + ".0\n";
    }
    for (std::size_t d = depth; d-- > 0;) {
        switch (d % 3) {
            case 0: out += "end if\n"; break;
            case 1: out += "end do\n"; break;
            default: out += "end select\n"; break;
        }
    }
    out += "end subroutine deep\n";
    return out;
}

}  // namespace codekiln::bench
