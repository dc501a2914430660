// The modern layout: a stack of open constructs, decided statement by
// statement, sets each line's leading blanks. Everything from a line's first
// to its last non-blank byte is copied as it stands.
#include "engine/format/modern_layout.h"

#include "engine/format/constants.h"
#include "engine/format/fixed_form.h"
#include "engine/format/large_buffers.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <initializer_list>
#include <limits>

namespace codekiln {
namespace {

struct Open {
    const char* kind;    // "do", "if", "subroutine", ...
    std::int64_t line;   // where it was opened
    std::string label;   // the terminal label of a labelled DO
    bool unit = false;   // a program unit (a bare end closes it)
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isWord(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// One physical line: leading blanks, the core, trailing blanks, line end.
struct Line {
    std::string_view core;
    std::string_view end;   // "\n", "\r\n", "\r" or ""
    std::size_t lead = 0;   // columns of leading blanks (a tab counts one)
    FixedLine fixed;        // in fixed form, its fields (the line without its line end)

    // The whole line as it stands, line end included.
    std::string_view raw() const {
        const char* b = core.data() - lead;
        return std::string_view(b, static_cast<std::size_t>(end.data() + end.size() - b));
    }
};

// The lines of a text, cut as the layout asks for them, in order: index i is
// always the text's line i. Lines before the oldest one the layout can still
// look back at are let go (keepFrom), so that a long text is never held as
// one list of all its lines; their room is reused for the lines after.
class LineWindow {
public:
    LineWindow(std::string_view text, SourceForm form) : text_(text), fixed_(form == SourceForm::Fixed) {}

    // Whether there is a line i; cuts the lines up to it.
    bool has(std::size_t i) {
        while (first_ + lines_.size() <= i) {
            if (pos_ >= text_.size()) return false;
            push(cut());
        }
        return true;
    }
    // Line i, found by has(i) and not let go since. A line may move when
    // has() cuts further: hold it only until then.
    const Line& operator[](std::size_t i) const { return lines_[i - first_]; }
    // Lines before i are no longer asked for.
    void keepFrom(std::size_t i) { keep_ = std::max(keep_, i); }

private:
    static constexpr std::size_t kChunk = 64;  // lines cut before any are let go

    Line cut() {
        const std::size_t p = pos_;
        std::size_t e = p;
        while (e < text_.size() && text_[e] != '\n' && text_[e] != '\r') ++e;
        std::size_t le = e;
        if (le < text_.size()) le += (text_[le] == '\r' && le + 1 < text_.size() && text_[le + 1] == '\n') ? 2 : 1;
        Line ln;
        std::size_t b = p;
        while (b < e && isBlank(text_[b])) ++b;
        std::size_t c = e;
        while (c > b && isBlank(text_[c - 1])) --c;
        ln.lead = b - p;
        ln.core = text_.substr(b, c - b);
        ln.end = text_.substr(e, le - e);
        if (fixed_) ln.fixed = cutFixedLine(text_.substr(p, e - p));
        pos_ = le;
        return ln;
    }

    // When the list is full, the lines let go make room first; the list
    // grows only when that leaves it more than half full.
    void push(const Line& ln) {
        if (lines_.size() == lines_.capacity()) {
            if (lines_.capacity() == 0) lines_.reserve(kChunk);
            const std::size_t gone = std::min(keep_ - std::min(keep_, first_), lines_.size());
            if (gone > 0) {
                lines_.erase(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(gone));
                first_ += gone;
            }
            if (lines_.size() * 2 > lines_.capacity()) lines_.reserve(lines_.capacity() * 2);
        }
        lines_.push_back(ln);
    }

    std::string_view text_;
    bool fixed_;               // each line is cut into its fixed-form fields too
    std::vector<Line> lines_;  // lines first_, first_ + 1, ...
    std::size_t first_ = 0;    // the index of lines_[0]
    std::size_t keep_ = 0;     // lines before it may be let go
    std::size_t pos_ = 0;      // where the next line starts
};

// Reads statements word by word: `s` is lower case with the contents of
// character constants blanked and comments gone.
class Words {
public:
    explicit Words(std::string_view s) : s_(s) {}
    void skipBlanks() { while (p_ < s_.size() && s_[p_] == ' ') ++p_; }
    std::string_view word() {
        skipBlanks();
        std::size_t b = p_;
        while (p_ < s_.size() && isWord(s_[p_])) ++p_;
        return s_.substr(b, p_ - b);
    }
    char peek() { skipBlanks(); return p_ < s_.size() ? s_[p_] : '\0'; }
    bool atEnd() { return peek() == '\0'; }
    // Skips a balanced parenthesised group starting at the current "(".
    bool skipParens() {
        if (peek() != '(') return false;
        int depth = 0;
        for (; p_ < s_.size(); ++p_) {
            if (s_[p_] == '(') ++depth;
            else if (s_[p_] == ')' && --depth == 0) { ++p_; return true; }
        }
        return false;
    }
    // A run of digits (a label), or nothing.
    std::string_view digits() {
        skipBlanks();
        std::size_t b = p_;
        while (p_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[p_]))) ++p_;
        return s_.substr(b, p_ - b);
    }
    // Reads the next word if it is `want`; otherwise reads nothing.
    bool takeWord(std::string_view want) {
        std::size_t save = p_;
        if (word() == want) return true;
        p_ = save;
        return false;
    }
    std::string_view rest() { skipBlanks(); return s_.substr(p_); }
    std::size_t pos() const { return p_; }
    void seek(std::size_t p) { p_ = p; }

private:
    std::string_view s_;
    std::size_t p_ = 0;
};

enum class Role { Plain, Open, Close, Middle };

struct Statement {
    Role role = Role::Plain;
    const char* kind = "";
    bool unit = false;
    std::string label;       // the statement's own label
    std::string doLabel;     // a labelled DO's terminal label
    bool isContinue = false; // "continue" or "end do" (a labelled DO's terminal at the DO's level)
    const char* spelled = "";  // a middle line's keyword as warnings name it: "else", "contains", ...
    bool strayCase = false;    // a case line with no select open around it
};

bool isOneOf(std::string_view word, std::initializer_list<std::string_view> words) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

// Whether what follows a statement's first word makes it an assignment
// (`do = 1`, `if(k) = 2`, `end%x = 3`), so that the word is a name.
bool assignmentFollows(Words w) {
    char c = w.peek();
    if (c == '=' ) { std::string_view r = w.rest(); return !(r.size() > 1 && r[1] == '='); }
    if (c == '%') return true;
    if (c == '(') {
        w.skipParens();
        c = w.peek();
        if (c == '(') w.skipParens(), c = w.peek();
        std::string_view r = w.rest();
        return (c == '=' && !(r.size() > 1 && r[1] == '=')) || c == '%';
    }
    return false;
}

const char* endKind(std::string_view word) {
    static const char* kinds[] = {"do", "if", "select", "where", "forall", "associate", "block",
                                  "critical", "team", "enum", "type", "interface", "subroutine",
                                  "function", "program", "module", "submodule", "procedure",
                                  "blockdata"};
    for (const char* k : kinds)
        if (word == k) return k;
    return nullptr;
}

// The statement's label and construct name ("outer:", not "::"), skipped;
// the label goes into st.
void skipLabelAndName(std::string_view s, Words& w, Statement& st) {
    w.skipBlanks();
    const std::size_t at = w.pos();
    std::string_view label = w.digits();
    if (!label.empty() && (w.pos() == s.size() || s[w.pos()] == ' ')) st.label = std::string(label);
    else w.seek(at);
    const std::size_t save = w.pos();
    if (!w.word().empty() && w.peek() == ':') {
        const std::size_t colon = w.pos();
        if (!(colon + 1 < s.size() && s[colon + 1] == ':')) {
            w.seek(colon + 1);
            return;
        }
    }
    w.seek(save);
}

// Whether the statement is an end: "end", "enddo", "end do", "endif",
// "end block data", ... Sets what it closes. "end" followed by a word that
// names no construct is decided too: it closes nothing and opens nothing.
bool readEnd(std::string_view first, Words& w, Statement& st) {
    if (first.substr(0, 3) != "end") return false;
    std::string_view kind = first.substr(3);
    const bool spaced = kind.empty();
    if (spaced) {
        const std::size_t save = w.pos();
        kind = w.word();
        if (kind.empty()) {
            w.seek(save);
            if (w.atEnd() || w.peek() == '!') st.role = Role::Close;  // a bare end
            return true;
        }
    }
    if (kind == "block" && w.takeWord("data")) kind = "blockdata";
    if (const char* k = endKind(kind)) {
        st.role = Role::Close;
        st.kind = k;
        st.isContinue = kind == "do";
        return true;
    }
    return spaced;
}

// Whether the statement is a middle line of a construct: else, else if,
// elsewhere, contains, and the case lines of a select. A case line with no
// select open is laid out as a plain statement, but reported.
bool readMiddle(std::string_view first, Words& w, std::string_view top, Statement& st) {
    auto middle = [&](const char* kind, const char* spelled) {
        st.role = Role::Middle;
        st.kind = kind;
        st.spelled = spelled;
        return true;
    };
    if (first == "else" || first == "elseif" || first == "elsewhere") {
        const bool where = first == "elsewhere" || w.rest().rfind("where", 0) == 0;
        if (where) return middle("where", "elsewhere");
        return middle("if", first == "elseif" || w.rest().rfind("if", 0) == 0 ? "else if" : "else");
    }
    if (first == "contains") return middle("contains", "contains");
    if (top != "select") {
        if (((first == "case" || first == "rank") && w.peek() == '(') || first == "casedefault" ||
            (first == "case" && w.rest() == "default"))
            st.strayCase = true;
        return st.strayCase;
    }
    if (isOneOf(first, {"case", "rank", "casedefault", "typeis", "classis", "classdefault"})) return middle("case", "case");
    if ((first == "class" || first == "type") && (w.takeWord("is") || w.takeWord("default"))) return middle("case", "case");
    return false;
}

// The words that may stand before "function" or "subroutine".
bool isProcedurePrefix(std::string_view n) {
    return isOneOf(n, {"recursive", "pure", "elemental", "impure", "module", "non_recursive", "integer", "real",
                       "logical", "character", "complex", "double", "precision", "doubleprecision", "type", "class"});
}

// Whether the statement opens a construct, and which. `start` is where its
// first word begins, from where a procedure's prefixes are read.
bool readOpen(std::string_view first, Words& w, std::string_view top, std::size_t start, Statement& st) {
    auto open = [&](const char* k, bool unit = false) {
        st.role = Role::Open;
        st.kind = k;
        st.unit = unit;
        return true;
    };
    if (first == "do") {
        const std::size_t save = w.pos();
        st.doLabel = std::string(w.digits());
        w.seek(save);
        return open("do");
    }
    if (first == "if" || first == "elseif") return w.skipParens() && w.rest() == "then" && open("if");
    if (isOneOf(first, {"select", "selectcase", "selecttype", "selectrank"})) return open("select");
    if (first == "where" || first == "forall")
        return w.skipParens() && w.atEnd() && open(first == "where" ? "where" : "forall");
    if (first == "associate" && w.peek() == '(') return open("associate");
    if (first == "critical" && (w.atEnd() || w.peek() == '(')) return open("critical");
    if ((first == "change" && w.word() == "team") || first == "changeteam") return open("team");
    if (first == "block") {
        if (w.atEnd()) return open("block");
        return w.word() == "data" && open("blockdata", true);
    }
    if (first == "blockdata") return open("blockdata", true);
    if (first == "enum" && w.peek() == ',') return open("enum");
    if (first == "interface" || (first == "abstract" && w.word() == "interface")) return open("interface");
    if (first == "type") {
        // type(t) :: x declares; type(t) function f() opens a function,
        // which the prefixes below find.
        const char c = w.peek();
        if (c != '(' && (c == ',' || c == ':' || isWord(c))) {
            const std::size_t save = w.pos();
            if (w.word() == "is") return false;
            w.seek(save);
            return open("type");
        }
        if (c != '(') return false;
    }
    if (first == "program") return open("program", true);
    if (first == "submodule" && w.peek() == '(') return open("submodule", true);
    if (first == "module") {
        const std::size_t save = w.pos();
        std::string_view n = w.word();
        if (n == "procedure") return top != "interface" && open("procedure", true);
        if (!isOneOf(n, {"subroutine", "function", "pure", "recursive", "elemental", "impure", "integer", "real",
                         "logical", "character", "complex", "type", "class", "double"}))
            return !n.empty() && open("module", true);
        w.seek(save);
    }
    // Procedures with their prefixes.
    w.seek(start);
    for (int guard = 0; guard < 12; ++guard) {
        std::string_view n = w.word();
        if (n == "subroutine") return !w.word().empty() && open("subroutine", true);
        if (n == "function") return !w.word().empty() && open("function", true);
        if (!isProcedurePrefix(n)) break;
        if (w.peek() == '(') w.skipParens();
        if (w.peek() == '*') {  // character*8, real*(k)
            w.seek(w.pos() + 1);
            if (w.peek() == '(') w.skipParens(); else w.word();
        }
    }
    return false;
}

// Decides what one statement does to the structure. `top` is the kind on top
// of the stack ("" when nothing is open).
Statement classify(std::string_view s, std::string_view top) {
    Statement st;
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    Words w(s);
    skipLabelAndName(s, w, st);
    const std::size_t start = w.pos();
    const std::string_view first = w.word();
    if (first.empty() || assignmentFollows(w)) return st;
    if (readEnd(first, w, st)) return st;
    if (first == "continue") {
        st.isContinue = true;
        return st;
    }
    if (readMiddle(first, w, top, st)) return st;
    readOpen(first, w, top, start, st);
    return st;
}

// Comment lines that keep their own place: compiler directives.
bool isDirective(std::string_view core) {
    if (core.size() < 2 || core[0] != '!') return false;
    if (core[1] == '$') return true;
    std::string head;
    for (std::size_t i = 1; i < core.size() && i < 6; ++i) head += lower(core[i]);
    return head.rfind("dir$", 0) == 0 || head.rfind("gcc$", 0) == 0;
}

// "! codekiln: off" / "! codekiln: on", any case and spacing.
int formatSwitch(std::string_view core) {
    if (core.empty() || core[0] != '!') return 0;
    std::string t;
    for (std::size_t i = 1; i < core.size(); ++i)
        if (!isBlank(core[i])) t += lower(core[i]);
    if (t == "codekiln:off") return -1;
    if (t == "codekiln:on") return 1;
    return 0;
}

// Reads the code of one line into `code` (lower case, constants blanked,
// comment gone). `quote` carries an open constant between lines. Returns
// whether the line ends with a continuation "&".
bool readCode(std::string_view core, bool continued, char& quote, std::string& code) {
    // A continuation line's leading "&" joins it to the line before.
    std::size_t i = continued && !core.empty() && core[0] == '&' ? 1 : 0;
    std::size_t lastAmp = std::string::npos;
    for (; i < core.size(); ++i) {
        char c = core[i];
        if (quote != 0) {
            if (c == quote) {
                if (i + 1 < core.size() && core[i + 1] == quote) { i += 1; code += "  "; continue; }
                quote = 0;
                code += c;
                continue;
            }
            if (c == '&') {
                std::size_t j = i + 1;
                while (j < core.size() && isBlank(core[j])) ++j;
                if (j == core.size()) { lastAmp = code.size(); break; }
            }
            code += ' ';
            continue;
        }
        if (c == '!') break;
        if (c == '"' || c == '\'') { quote = c; code += c; continue; }
        if (c == '&') lastAmp = code.size();
        else if (!isBlank(c)) lastAmp = std::string::npos;
        code += isBlank(c) ? ' ' : lower(c);
    }
    if (lastAmp != std::string::npos) { code.resize(lastAmp); return true; }
    if (quote != 0) quote = 0;  // a constant cannot run past a line without "&"
    return false;
}

class Layout {
public:
    Layout(const ModernOptions& o, ModernFile& f, std::string_view text)
        : opt_(o), file_(f), lines_(text, o.form) {}

    void run(std::string_view text) {
        reserveLarge(out_, text.size() + text.size() / 2 + 1024);  // room for deeper indentation
        std::size_t i = 0;
        for (;;) {
            // Nothing before the oldest comment waiting for its statement,
            // or before this line, is looked at again.
            lines_.keepFrom(pending_.empty() ? i : pending_.front().line);
            if (!lines_.has(i)) break;
            const Line& ln = lines_[i];
            int sw = formatSwitch(ln.core);
            if (off_) {
                emitRaw(i);
                if (sw == 1) off_ = false;
                else followStatement(i);
                ++i;
                continue;
            }
            if (sw == -1) { flushComments(depth() * opt_.indentWidth); off_ = true; emitRaw(i); ++i; continue; }
            if (ln.core.empty()) { pending_.push_back({i, Pend::Blank}); ++i; continue; }
            if (ln.core[0] == '#') {
                const std::string d = directiveName(ln.core);
                flushComments(depth() * opt_.indentWidth, d == "else" || d == "elif" || d == "endif");
                preprocessor(ln.core);
                emitRaw(i);
                ++i;
                continue;
            }
            if (ln.core[0] == '!') {
                if (isDirective(ln.core)) conditionalCode(ln.core, static_cast<std::int64_t>(i) + 1);
                pending_.push_back({i, isDirective(ln.core) ? Pend::Keep : Pend::Comment});
                ++i;
                continue;
            }
            i = statement(i);
        }
        flushComments(depth() * opt_.indentWidth);
        finish();
    }

private:
    // Constructs still open at the end are reported for the file as a
    // whole, after the warnings about lines, which stay in line order.
    void finish() {
        for (const Open& o : stack_)
            file_.warnings.push_back({0, std::string(o.kind) + " at line " + std::to_string(o.line) + " is never closed"});
        auto order = [](const StructureWarning& w) {
            return w.line == 0 ? std::numeric_limits<std::int64_t>::max() : w.line;
        };
        std::stable_sort(file_.warnings.begin(), file_.warnings.end(),
                         [&](const StructureWarning& a, const StructureWarning& b) { return order(a) < order(b); });
        file_.text = std::move(out_);
    }

    enum class Pend { Blank, Comment, Keep };
    struct Pending { std::size_t line; Pend kind; };

    int depth() const { return static_cast<int>(stack_.size()); }

    void emitRaw(std::size_t i) { out_.append(lines_[i].raw()); }
    void emit(std::size_t i, std::size_t indent) {
        const Line& ln = lines_[i];
        if (!ln.core.empty()) out_.append(indent, ' ');
        out_.append(ln.core);
        out_.append(ln.end);
    }
    // Comments and blank lines waiting for the next statement: they take its
    // indentation, except before an end or a middle line of a construct,
    // where they stay with the body they close. A comment written in column
    // 1 before indented code (commented-out code, section rulers) or before
    // an #else, #elif or #endif (a note on the branch it ends, beside that
    // line in column 1) is left there.
    void flushComments(int indent, bool beforeBranchEnd = false) {
        for (const Pending& p : pending_) {
            const Line& ln = lines_[p.line];
            if (p.kind == Pend::Keep) {
                out_.append(sourceLead(p.line));
                out_.append(ln.core);
                out_.append(ln.end);
            } else if (p.kind == Pend::Comment && ln.lead == 0 && (nextIndented_ || beforeBranchEnd)) {
                emit(p.line, 0);  // a comment in column 1 stays there
            } else {
                emit(p.line, static_cast<std::size_t>(std::max(indent, 0)));
            }
        }
        pending_.clear();
    }
    std::string_view sourceLead(std::size_t i) const {
        return lines_[i].raw().substr(0, lines_[i].lead);
    }

    // The directive of a preprocessor line, lower case: "if", "endif", ...,
    // for the C preprocessor's lines and fypp's "#:" lines alike: the
    // branches of "#:if … #:else" are each other's alternatives too.
    static std::string directiveName(std::string_view core) {
        std::string d;
        std::size_t k = 1;
        while (k < core.size() && isBlank(core[k])) ++k;
        if (k < core.size() && core[k] == ':') ++k;
        while (k < core.size() && isBlank(core[k])) ++k;
        while (k < core.size() && std::isalpha(static_cast<unsigned char>(core[k]))) d += lower(core[k++]);
        return d;
    }

    void preprocessor(std::string_view core) {
        const std::string d = directiveName(core);
        if (d == "if" || d == "ifdef" || d == "ifndef") {
            cpp_.push_back({stack_, {}, false});
        } else if ((d == "else" || d == "elif") && !cpp_.empty()) {
            if (!cpp_.back().haveFirst) { cpp_.back().first = stack_; cpp_.back().haveFirst = true; }
            stack_ = cpp_.back().atIf;
        } else if (d == "endif" && !cpp_.empty()) {
            if (cpp_.back().haveFirst) stack_ = cpp_.back().first;
            cpp_.pop_back();
        }
    }

    // Reads the statement starting at line i (with its continuation lines
    // and the comments between them), lays it out and returns the next line.
    std::size_t statement(std::size_t i) {
        code_.clear();
        char quote = 0;
        std::size_t j = i;
        bool more = readCode(lines_[j].core, false, quote, code_);
        std::vector<std::size_t>& group = group_;
        group.clear();
        rawLines_.clear();
        group.push_back(j);
        while (more && lines_.has(j + 1)) {
            ++j;
            const Line& ln = lines_[j];
            // A blank line is a comment line, also inside a continued constant.
            if (ln.core.empty() || (quote == 0 && (ln.core[0] == '!' || ln.core[0] == '#'))) {
                group.push_back(j);
                continue;
            }
            // A constant carried on without a leading "&" takes the line's
            // leading blanks as its own: that line stays as it is.
            if (quote != 0 && ln.core[0] != '&') rawLines_.push_back(j);
            more = readCode(ln.core, true, quote, code_);
            group.push_back(j);
        }
        const int indent = applyParts(code_, static_cast<std::int64_t>(i) + 1);
        int width = opt_.indentWidth;
        // Comments before an end or middle line belong to the body.
        // Indented code: indented in the source and in the layout alike, so
        // that a second pass, which sees the layout's indentation, decides
        // the same for a comment in column 1.
        nextIndented_ = lines_[i].lead > 0 && indent > 0;
        flushComments(std::max(indent, lastBodyDepth_) * width);
        nextIndented_ = false;
        long newFirst = static_cast<long>(indent) * width;
        long shift = newFirst - static_cast<long>(lines_[i].lead);
        for (std::size_t g : group) {
            const Line& ln = lines_[g];
            if (g == i) { emit(g, static_cast<std::size_t>(newFirst)); continue; }
            if (std::find(rawLines_.begin(), rawLines_.end(), g) != rawLines_.end()) { emitRaw(g); continue; }
            if (ln.core.empty()) { emit(g, 0); continue; }
            if (ln.core[0] == '#') { emitRaw(g); continue; }
            if (ln.core[0] == '!' && isDirective(ln.core)) { out_.append(sourceLead(g)); out_.append(ln.core); out_.append(ln.end); continue; }
            long ind = std::max(0L, static_cast<long>(ln.lead) + shift);
            emit(g, static_cast<std::size_t>(ind));
        }
        return j + 1;
    }

    // Follows the structure through a format-off region without writing.
    // Whether a line goes on is read as if it stood alone.
    void followStatement(std::size_t i) {
        const Line& ln = lines_[i];
        if (ln.core.empty() || ln.core[0] == '!') return;
        if (ln.core[0] == '#') { preprocessor(ln.core); return; }
        code_.clear();
        char quote = 0;
        readCode(ln.core, offContinued_, quote, code_);
        if (!offContinued_) offCode_.clear();
        offCode_ += code_;
        code_.clear();
        quote = 0;
        offContinued_ = readCode(ln.core, false, quote, code_);
        if (!offContinued_) applyParts(offCode_, static_cast<std::int64_t>(i) + 1);
    }

public:
    // Fixed form: the label field and column 6 stay, the statement text is
    // indented from column 7. Comment lines, lines with anything beyond
    // column 72, TAB forms, lines inside or ending in a continued constant,
    // and lines the new indentation would push past column 72 stay exactly
    // as they are.
    void runFixed(std::string_view text) {
        reserveLarge(out_, text.size() + text.size() / 2 + 1024);  // room for deeper indentation
        std::size_t i = 0;
        for (;;) {
            // Nothing before this line is looked at again.
            lines_.keepFrom(i);
            if (!lines_.has(i)) break;
            const Line& ln = lines_[i];
            int sw = formatSwitch(ln.core);
            if (sw != 0 && ln.fixed.kind == FixedLine::Kind::Comment) off_ = sw < 0;
            if (!ln.fixed.code() || ln.fixed.kind == FixedLine::Kind::Continuation) {
                if (ln.fixed.kind == FixedLine::Kind::Blank && !off_) out_.append(ln.end);
                else emitRaw(i);
                if (ln.fixed.kind == FixedLine::Kind::Comment && !off_) conditionalCode(ln.core, static_cast<std::int64_t>(i) + 1);
                // A preprocessor line, in column 1: its branches start alike.
                if (ln.fixed.kind == FixedLine::Kind::Comment && ln.raw()[0] == '#') preprocessor(ln.core);
                ++i;
                continue;
            }
            readFixedStatement(i);
            const int indent = applyParts(code_, static_cast<std::int64_t>(i) + 1, false);
            writeFixedStatement(indent);
            i = group_.back() + 1;
        }
        finish();
    }

private:
    // How a line of a fixed-form statement is written.
    enum class FixedKeep : char {
        Move,     // the statement text moves with the statement
        AsIs,     // in or ending in a continued constant, text beyond column 72, a TAB form
        Between,  // a comment or blank line between the statement's lines
    };

    // Reads the fixed-form statement starting at line i: its initial line
    // and continuation lines, with the comment and blank lines between them,
    // into group_ and keep_, and its code (lower case, constants blanked,
    // comments gone, the label first) into code_. The lines are cut as far
    // as the first code line after the statement.
    void readFixedStatement(std::size_t i) {
        group_.clear();
        keep_.clear();
        ConstantState cs;
        cs.inFormat = startsFormatStatement(lines_[i].fixed.text);
        code_ = lines_[i].fixed.label();  // the label field, read as a free-form label
        code_ += ' ';
        for (std::size_t j = i;;) {
            const bool startsInConstant = cs.open();
            // Blanks are no part of fixed-form code, and the layout moves
            // the blanks at either end of a line's text: each line's code
            // is read without them and joined to the last by one blank,
            // so that a second pass reads the statement as the first did.
            piece_.clear();
            auto outside = [&](std::string_view t) {
                for (char c : t) {
                    if (c == '!') break;  // "!" outside constants ends the line's code
                    piece_ += isBlank(c) ? ' ' : lower(c);
                }
            };
            auto constant = [&](std::string_view) { piece_ += ' '; };
            const FixedLine& f = lines_[j].fixed;
            scanFixedText(f.text, cs, outside, constant);
            const std::size_t from = piece_.find_first_not_of(' ');
            if (from != std::string::npos) {
                if (!code_.empty() && code_.back() != ' ') code_ += ' ';
                code_.append(piece_, from, piece_.find_last_not_of(' ') + 1 - from);
            }
            group_.push_back(j);
            const bool asIs = startsInConstant || cs.open() || !f.tail.empty() ||
                              f.field.find('\t') != std::string_view::npos;
            keep_.push_back(asIs ? FixedKeep::AsIs : FixedKeep::Move);
            // Cutting further may move the lines: `f` is not used past here.
            std::size_t k = j + 1;
            while (lines_.has(k) && !lines_[k].fixed.code()) ++k;
            if (!lines_.has(k) || lines_[k].fixed.kind != FixedLine::Kind::Continuation) return;
            for (std::size_t m = j + 1; m < k; ++m) {
                group_.push_back(m);
                keep_.push_back(FixedKeep::Between);
            }
            j = k;
        }
    }

    // Writes the statement read by readFixedStatement, its first line with
    // text at `indent` levels. The shift comes from that line: an initial
    // line with no text (or only a label) sets nothing, since its blanks do
    // not survive. When that line stays as it stands, its continuation lines
    // stay too, keeping their offset from it. The label field and column 6
    // are written as they stand.
    void writeFixedStatement(int indent) {
        long shift = 0;
        bool haveShift = false;
        for (std::size_t g = 0; g < group_.size(); ++g) {
            const std::size_t m = group_[g];
            const FixedLine& f = lines_[m].fixed;
            const bool between = keep_[g] == FixedKeep::Between;
            const bool kept = off_ || keep_[g] == FixedKeep::AsIs || f.text.find('\t') != std::string_view::npos;
            std::string_view body = f.text;
            std::size_t lead = 0;
            while (lead < body.size() && isBlank(body[lead])) ++lead;
            std::string_view core = body.substr(lead);
            while (!core.empty() && isBlank(core.back())) core.remove_suffix(1);
            if (!haveShift && !between && !core.empty()) {
                const long target = static_cast<long>(indent) * opt_.indentWidth;
                const bool fits = static_cast<std::size_t>(target) + core.size() <= kFixedTextWidth;
                shift = kept || !fits ? 0 : target - static_cast<long>(lead);
                haveShift = true;
            }
            if (kept || (between && f.kind != FixedLine::Kind::Blank)) {
                emitRaw(m);
                continue;
            }
            if (between) {  // a blank line is written empty
                out_.append(lines_[m].end);
                continue;
            }
            long want = std::max(0L, static_cast<long>(lead) + shift);
            // A line the shift would push past column 72 keeps its own blanks.
            if (static_cast<std::size_t>(want) + core.size() > kFixedTextWidth) want = static_cast<long>(lead);
            std::string_view field = f.field;
            out_.append(field);
            if (!core.empty()) {
                if (field.size() < 6) out_.append(6 - field.size(), ' ');
                out_.append(static_cast<std::size_t>(want), ' ');
                out_.append(core);
            } else {
                // No text: the label field without its trailing blanks.
                while (!out_.empty() && isBlank(out_.back()) && !field.empty()) {
                    out_.pop_back();
                    field.remove_suffix(1);
                }
            }
            out_.append(lines_[m].end);
        }
    }

    // Splits a statement's code at ";" outside constants and applies each
    // part; returns the depth the line is written at, the first part's.
    // Free-form code keeps the quotes of its blanked constants; fixed-form
    // code has none left, and a quote in its label field is no constant.
    int applyParts(std::string_view code, std::int64_t lineNo, bool quotesKept = true) {
        int indent = depth();
        bool firstPart = true;
        std::size_t b = 0;
        char quote = 0;
        for (std::size_t k = 0; k <= code.size(); ++k) {
            const char c = k < code.size() ? code[k] : ';';
            if (quote != 0) {
                if (c == quote) quote = 0;
                continue;
            }
            if (quotesKept && (c == '"' || c == '\'')) {
                quote = c;
                continue;
            }
            if (c != ';') continue;
            const int at = apply(code.substr(b, k - b), lineNo);
            if (firstPart) indent = at;
            firstPart = false;
            b = k + 1;
        }
        return indent;
    }

    // "!$ code" is compiled when OpenMP is on: its line keeps its place, but
    // the constructs it opens and closes count.
    void conditionalCode(std::string_view core, std::int64_t lineNo) {
        if (core.size() < 3 || core[1] != '$' || !(isBlank(core[2]) || core[2] == '&')) return;
        std::string_view body = core.substr(2);
        while (!body.empty() && isBlank(body.front())) body.remove_prefix(1);
        std::string code;
        char quote = 0;
        bool wasContinued = conditionalContinued_;
        conditionalContinued_ = readCode(body, wasContinued, quote, code);
        if (wasContinued) return;
        apply(code, lineNo);
    }

    // Applies one statement to the stack; returns the depth its line is
    // written at.
    int apply(std::string_view part, std::int64_t lineNo) {
        std::string_view top = stack_.empty() ? std::string_view() : std::string_view(stack_.back().kind);
        Statement st = classify(part, top);
        int at = depth();
        lastBodyDepth_ = 0;
        switch (st.role) {
        case Role::Plain:
            if (st.strayCase) {
                file_.warnings.push_back({lineNo, stack_.empty() ? std::string("case outside any construct")
                                                                 : "case does not match " + std::string(stack_.back().kind) +
                                                                       " at line " + std::to_string(stack_.back().line)});
            }
            break;
        case Role::Open:
            stack_.push_back({st.kind, lineNo, st.doLabel, st.unit});
            break;
        case Role::Middle:
            if (std::string_view(st.kind) == "case") {
                at = opt_.indentElse ? depth() - 1 : depth();
            } else {
                at = depth() - 1;
            }
            lastBodyDepth_ = depth();
            if (stack_.empty()) {
                file_.warnings.push_back({lineNo, std::string(st.spelled) + " outside any construct"});
            } else if (!middleFits(st.kind, stack_.back())) {
                file_.warnings.push_back({lineNo, std::string(st.spelled) + " does not match " + stack_.back().kind +
                                                      " at line " + std::to_string(stack_.back().line)});
            }
            break;
        case Role::Close: {
            lastBodyDepth_ = depth();
            closeConstruct(st.kind, lineNo);
            at = depth();
            break;
        }
        }
        // Labelled DO loops ending on this statement's label.
        if (!st.label.empty()) {
            bool closesHere = st.isContinue;
            int n = 0;
            while (!stack_.empty() && std::string_view(stack_.back().kind) == "do" && stack_.back().label == st.label) {
                stack_.pop_back();
                ++n;
            }
            if (n > 0 && closesHere && st.role != Role::Close) { at = depth(); lastBodyDepth_ = depth() + n; }
        }
        return std::max(at, 0);
    }

    // Whether a middle line belongs to the innermost open construct: else
    // to an if, elsewhere to a where, contains to a program unit or a type.
    static bool middleFits(std::string_view kind, const Open& top) {
        if (kind == "contains") return top.unit || std::string_view(top.kind) == "type";
        if (kind == "case") return std::string_view(top.kind) == "select";
        return std::string_view(top.kind) == kind;
    }

    void closeConstruct(std::string_view kind, std::int64_t lineNo) {
        std::string name = kind.empty() ? "end" : "end " + std::string(kind == "blockdata" ? "block data" : kind);
        if (stack_.empty()) { file_.warnings.push_back({lineNo, name + " closes nothing"}); return; }
        auto matches = [&](const Open& o) {
            if (kind.empty()) return o.unit;
            if (kind == "procedure") return o.unit;  // end procedure closes a separate module procedure
            return std::string_view(o.kind) == kind && o.label.empty();
        };
        auto matchesLoose = [&](const Open& o) {
            return kind == "do" && std::string_view(o.kind) == "do";
        };
        if (matches(stack_.back()) || matchesLoose(stack_.back())) { stack_.pop_back(); return; }
        for (std::size_t k = stack_.size(); k-- > 0;) {
            if (matches(stack_[k])) {
                file_.warnings.push_back({lineNo, name + " does not match " + stack_.back().kind + " at line " +
                                                      std::to_string(stack_.back().line)});
                stack_.resize(k);
                return;
            }
        }
        file_.warnings.push_back({lineNo, name + " does not match " + std::string(stack_.back().kind) + " at line " +
                                              std::to_string(stack_.back().line)});
    }

    struct CppBranch { std::vector<Open> atIf, first; bool haveFirst; };

    const ModernOptions& opt_;
    ModernFile& file_;
    std::string out_;
    std::string code_;
    std::string piece_;
    std::string offCode_;
    bool offContinued_ = false;
    bool conditionalContinued_ = false;
    std::vector<std::size_t> group_;
    std::vector<FixedKeep> keep_;
    std::vector<std::size_t> rawLines_;
    std::vector<Pending> pending_;
    std::vector<Open> stack_;
    std::vector<CppBranch> cpp_;
    bool off_ = false;
    int lastBodyDepth_ = 0;
    bool nextIndented_ = false;  // the statement after the pending comments is indented code
    LineWindow lines_;           // the input's lines, cut as they are read
};

}  // namespace

ModernFile formatModern(std::string_view text, const ModernOptions& options) {
    ModernFile file;
    ModernOptions opt = options;
    opt.indentWidth = std::clamp(opt.indentWidth, 1, 8);
    Layout layout(opt, file, text);
    if (options.form == SourceForm::Fixed) layout.runFixed(text);
    else layout.run(text);
    return file;
}

}  // namespace codekiln
