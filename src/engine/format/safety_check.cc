// The safety check compares two views of a file's text that formatting must
// leave alone: its significant lines (each line without blanks and without
// its leading run of blanks and tabs, empty lines and this tool's banner
// lines left out) and its character and Hollerith constants, byte for byte. Both sides go
// through the same scan, so indentation, the four-blank collapse outside
// constants, removed leading tabs, blank lines and fresh banners make no
// difference, while a dropped, joined, split or altered line or constant
// does.
//
// Character constants are followed as the reader follows them: outside a
// constant ' or " opens one that the next same quote closes (a doubled quote
// stays inside), "!" outside a constant starts a comment, comment lines hold
// no constants, and a constant still open at the end of a line whose last
// non-blank character is "&" goes on in the next line that is not a comment
// line (blank lines don't interrupt it), after a leading "&" or else from the
// line's very first character. Such a line is written exactly as it stands,
// so its significant form keeps its leading tabs.
//
// The two sides are walked in step, one significant line at a time, so the
// check needs no memory in proportion to the file.
#include "engine/format/safety_check.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

#include "engine/format/constants.h"
#include "engine/format/line_splitter.h"
#include "engine/format/stored_lines.h"
#include "engine/state/text.h"

namespace codekiln {
namespace {

/// The position of the first character at or after `i` that is not a blank.
std::size_t skipBlanks(std::string_view s, std::size_t i) {
    return i >= s.size() ? i : i + countLeadingBlanks(s.data() + i, s.size() - i);
}

/// Whether `s` holds `t` at position `i`.
bool holdsAt(std::string_view s, std::size_t i, std::string_view t) {
    return i <= s.size() && s.size() - i >= t.size() && s.compare(i, t.size(), t) == 0;
}

/// Whether a content line may be one of this tool's banner lines: they all
/// start with "! *" or "!*".
bool mayBeBanner(std::string_view content) {
    return content.size() > 2 && content[0] == '!' &&
           (content[1] == '*' || (content[1] == ' ' && content[2] == '*'));
}

/// The lines of a list, one after another.
class ListLines {
public:
    explicit ListLines(const std::vector<std::string_view>& lines) : lines_(lines) {}
    bool next(std::string_view& line) {
        if (i_ == lines_.size()) return false;
        line = lines_[i_++];
        return true;
    }
    /// Consumes the next lines when they are blank lines and then `content`
    /// after nothing but blanks; returns how many, 0 when they are not.
    std::size_t skipIfIndented(std::string_view content) {
        for (std::size_t k = i_; k < lines_.size(); ++k) {
            const std::string_view line = lines_[k];
            const std::size_t b = skipBlanks(line, 0);
            if (b == line.size()) continue;  // a blank line
            if (line.size() - b != content.size() || !holdsAt(line, b, content)) return 0;
            const std::size_t lines = k + 1 - i_;
            i_ = k + 1;
            return lines;
        }
        return 0;
    }

private:
    const std::vector<std::string_view>& lines_;
    std::size_t i_ = 0;
};

/// The lines of a text, split as `splitLines` splits them.
class TextLines {
public:
    explicit TextLines(std::string_view text) : text_(text), lines_(text) {}
    bool next(std::string_view& line) { return lines_.next(line); }
    /// Where the next line starts.
    std::size_t position() const { return lines_.position(); }
    /// Consumes the next lines when they are blank lines and then `content`
    /// after nothing but blanks; returns how many, 0 when they are not.
    /// `content` is not blank and holds no line end.
    std::size_t skipIfIndented(std::string_view content) {
        const std::size_t n = text_.size();
        std::size_t i = lines_.position();
        std::size_t lines = 1;
        for (;;) {
            i = skipBlanks(text_, i);
            const std::size_t ending = lineEndAt(i);
            if (ending == 0) break;
            i += ending;  // a blank line
            ++lines;
        }
        const std::size_t end = i + content.size();
        if (!holdsAt(text_, i, content)) return 0;
        const std::size_t ending = lineEndAt(end);
        if (end < n && ending == 0) return 0;
        lines_.skipTo(end + (ending == 0 ? 1 : ending));
        return lines;
    }

private:
    /// The length of the line end at `i` (1 or 2), 0 when none stands there.
    std::size_t lineEndAt(std::size_t i) const {
        const std::size_t n = text_.size();
        if (i >= n) return 0;
        if (lines_.crEnds()) return text_[i] == '\r' ? 1 : 0;
        if (text_[i] == '\n') return 1;
        return text_[i] == '\r' && i + 1 < n && text_[i + 1] == '\n' ? 2 : 0;
    }

    std::string_view text_;
    LineSplitter lines_;
};

/// The lines of a text another thread is still writing (PublishedText),
/// split as `TextLines` splits the whole text: a line is taken once its line
/// end is published or the text is finished.
class PublishedLines {
public:
    explicit PublishedLines(PublishedText& text) : text_(&text), crEnds_(text.crEnds()) {}
    bool next(std::string_view& line) {
        for (;;) {
            LineSplitter lines(seen_.text, crEnds_);
            lines.skipTo(pos_);
            std::string_view end;
            if (lines.next(line, end) && (!end.empty() || seen_.finished)) {
                pos_ = lines.position();
                return true;
            }
            if (seen_.finished) return false;
            seen_ = text_->waitBeyond(seen_.text.size());  // the line is read again, whole
        }
    }
    /// As `TextLines::skipIfIndented`, a line at a time.
    std::size_t skipIfIndented(std::string_view content) {
        const std::size_t start = pos_;
        std::size_t lines = 0;
        for (std::string_view line; next(line);) {
            ++lines;
            const std::size_t b = skipBlanks(line, 0);
            if (b == line.size()) continue;  // a blank line
            if (line.size() - b == content.size() && holdsAt(line, b, content)) return lines;
            break;
        }
        pos_ = start;
        return 0;
    }
    /// The writer's input before this is read no more by the writer.
    std::size_t inputMark() const { return seen_.inputMark; }

private:
    PublishedText* text_;
    bool crEnds_;
    PublishedText::Snapshot seen_;
    std::size_t pos_ = 0;
};

/// The character constants found but not yet compared, in file order.
struct ConstantQueue {
    std::string bytes;
    std::vector<std::size_t> ends;   ///< end offset of each constant in `bytes`
    std::vector<std::size_t> lines;  ///< 1-based line number of each constant
    std::size_t first = 0;           ///< index of the first one not yet compared

    bool empty() const { return first == ends.size(); }
    std::string_view front() const {
        const std::size_t begin = first == 0 ? 0 : ends[first - 1];
        return std::string_view(bytes).substr(begin, ends[first] - begin);
    }
    std::size_t frontLine() const { return lines[first]; }
    void pop() {
        if (++first == ends.size()) {
            bytes.clear();
            ends.clear();
            lines.clear();
            first = 0;
        }
    }
    void push(std::string_view s, std::size_t line) {
        bytes.append(s);
        ends.push_back(bytes.size());
        lines.push_back(line);
    }
};

bool hasQuote(std::string_view s) {
    if (s.empty()) return false;
    return std::memchr(s.data(), '\'', s.size()) != nullptr ||
           std::memchr(s.data(), '"', s.size()) != nullptr;
}

std::string_view withoutLeadingTabs(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == '\t') ++i;
    return s.substr(i);
}

std::string_view withoutLeadingBlanksAndTabs(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    return s.substr(i);
}

/// A line without blanks at either end and without the tabs at its start,
/// blanks after them trimmed too: the text the reader classifies.
std::string_view contentOf(std::string_view raw) {
    if (raw.empty()) return raw;
    if (raw.front() != ' ' && raw.front() != '\t' && raw.back() != ' ') return raw;  // most lines
    return trimBlanks(withoutLeadingTabs(trimBlanks(raw.substr(skipBlanks(raw, 0)))));
}

/// A line without its blanks, in storage reused from line to line.
class Squeezed {
public:
    /// Takes `s` without its blanks.
    void assign(std::string_view s) {
        if (s.size() > buffer_.size()) buffer_.resize(s.size() * 2);
        char* d = buffer_.data();
        for (char c : s) {
            *d = c;
            d += c != ' ';
        }
        size_ = static_cast<std::size_t>(d - buffer_.data());
    }
    std::string_view text() const { return std::string_view(buffer_.data(), size_); }

private:
    std::vector<char> buffer_;
    std::size_t size_ = 0;
};

/// What a code line hands on to the statement's next line: a constant still
/// open, and whether the statement goes on (the line ends in "&").
struct Carry {
    ConstantState state;
    bool continuing = false;
    bool operator==(const Carry& o) const { return state == o.state && continuing == o.continuing; }
    bool operator!=(const Carry& o) const { return !(*this == o); }
};

/// Queues the character and Hollerith constants of `text`, the code part of
/// one line without trailing blanks, in `out` unless it is null. `state` is
/// what is open at the start of `text`; on return, what is open at its end.
void addConstants(std::string_view text, ConstantState& state, std::size_t line, ConstantQueue* out) {
    scanConstants(
        text, state, [](std::string_view) {},
        [&](std::string_view piece) {
            if (out != nullptr && !piece.empty()) out->push(piece, line);
        });
}

/// Walks one side's lines: `next` moves to the next significant line, and
/// its constants are then either queued (`takeConstants`) or, when the other
/// side's line has the same text in the same state, passed over on both
/// sides (`passConstantsWith`).
template <typename Lines>
class Scanner {
public:
    explicit Scanner(Lines lines) : lines_(lines) {}

    /// Moves to the next significant line; false at the end of the text.
    bool next() {
        std::string_view raw;
        while (lines_.next(raw)) {
            ++number_;
            if (take(raw)) return true;
        }
        return false;
    }
    std::size_t line() const { return number_; }
    const Lines& lines() const { return lines_; }
    ConstantQueue& constants() { return constants_; }

    /// Whether the current line can be matched as it stands: it continues no
    /// constant and does not start with a tab, so the same text indented by
    /// blanks reads as the same line with the same constants.
    bool plain() const { return !verbatim_ && !carry_.state.open() && content_.front() != '\t'; }
    std::string_view content() const { return content_; }
    /// Consumes the next lines when they are blank lines and then `content`
    /// after nothing but blanks; the constants and the continuation are then
    /// set by the caller. Blank lines read as nothing and change nothing.
    bool skipIfIndented(std::string_view content) {
        const std::size_t lines = lines_.skipIfIndented(content);
        number_ += lines;
        return lines != 0;
    }
    /// Moves the continuation past the current line without queuing its
    /// constants.
    void passConstants() { moveConstants(nullptr); }

    /// Whether the current line stands as `other`'s does, apart from what
    /// precedes it. Most lines come out of formatting so, apart from their
    /// indentation; only the others need their significant forms compared.
    template <typename Other>
    bool sameTextAs(const Scanner<Other>& other) const {
        return verbatim_ == other.verbatim() && basis_ == other.basis();
    }
    /// The text the significant form is made of, and whether it is a line on
    /// which a constant resumes at the first character.
    std::string_view basis() const { return basis_; }
    bool verbatim() const { return verbatim_; }
    /// The significant form: the basis without blanks.
    std::string_view significant() {
        if (!squeezed_) significant_.assign(basis_);
        squeezed_ = true;
        return significant_.text();
    }

    /// Queues the current line's constants and moves the continuation.
    void takeConstants() { moveConstants(&constants_); }

    /// When both sides have nothing queued and the current lines have the
    /// same text (`sameTextAs`) in the same state, their constants are the
    /// same: moves both continuations without queuing them, and returns
    /// true. (Same text means the same code: what precedes the basis of a
    /// line that continues no constant is blanks and tabs.)
    template <typename Other>
    bool passConstantsWith(Scanner<Other>& other) {
        if (!constants_.empty() || !other.constants().empty()) return false;
        if (comment_ != other.comment() || carry_ != other.carry()) return false;
        moveConstants(nullptr);
        other.setCarry(carry_);
        return true;
    }
    bool comment() const { return comment_; }
    const Carry& carry() const { return carry_; }
    void setCarry(const Carry& carry) { carry_ = carry; }

private:
    /// Reads one line; true when it has a significant form.
    bool take(std::string_view raw) {
        const std::string_view content = contentOf(raw);
        if (content.empty() || (mayBeBanner(content) && isBannerLine(content))) return false;
        content_ = content;
        squeezed_ = false;
        verbatim_ = false;
        comment_ = content.front() == '!';
        if (comment_) {
            basis_ = content;
            return true;
        }
        last_ = content.back();
        if (carry_.state.open() && content.front() != '&') {
            // The constant resumes at the line's first character.
            verbatim_ = true;
            basis_ = trimTrailingBlanks(raw);
            code_ = basis_;
        } else {
            basis_ = content.front() == '\t' ? withoutLeadingBlanksAndTabs(content) : content;
            code_ = carry_.state.open() ? content.substr(1) : content;
        }
        return !basis_.empty();
    }

    /// Finds the constants of the current code line, queuing them in `out`
    /// unless it is null, and moves the continuation past the line.
    void moveConstants(ConstantQueue* out) {
        if (comment_) return;  // comment lines hold no constants
        ConstantState state = carry_.state;
        if (!carry_.continuing) state.inFormat = startsFormatStatement(code_);
        if (out == nullptr && !state.open() && last_ != '&') {
            carry_ = Carry{};  // nothing goes on past this line
            return;
        }
        if (state.open() || state.inFormat || hasQuote(code_)) addConstants(code_, state, number_, out);
        carry_.continuing = last_ == '&';
        carry_.state = carry_.continuing ? state : ConstantState{};
    }

    Lines lines_;
    std::size_t number_ = 0;
    std::string_view content_;
    std::string_view basis_;
    bool verbatim_ = false;
    bool squeezed_ = false;
    Squeezed significant_;
    bool comment_ = false;
    std::string_view code_;  // the part of a code line constants are taken from
    char last_ = 0;          // the line's last non-blank character
    Carry carry_;            // what goes on in the statement's next code line
    ConstantQueue constants_;
};

SafetyVerdict differs(SafetyDifference difference, long long line, std::string reason) {
    return SafetyVerdict{false, std::move(reason), difference, line};
}

/// Compares the constants both sides have queued so far.
template <typename A, typename B>
bool sameConstants(Scanner<A>& in, Scanner<B>& out, SafetyVerdict& verdict) {
    ConstantQueue& a = in.constants();
    ConstantQueue& b = out.constants();
    while (!a.empty() && !b.empty()) {
        if (a.front() != b.front()) {
            verdict = differs(SafetyDifference::ConstantChanged, a.frontLine(),
                              "a character constant on line " + std::to_string(a.frontLine()) +
                                  " is changed or missing after formatting");
            return false;
        }
        a.pop();
        b.pop();
    }
    return true;
}

/// `between(in, out)` is called before each input line is read: what lies
/// before it is done with.
template <typename A, typename B, typename Between>
SafetyVerdict compare(Scanner<A> in, Scanner<B> out, Between between) {
    SafetyVerdict verdict;
    for (;;) {
        between(in, out);
        const bool moreIn = in.next();
        // Most lines are written as they were read, indented: such a line
        // says the same with the same constants.
        if (moreIn && in.plain() && out.carry() == in.carry() && in.constants().empty() &&
            out.constants().empty() && out.skipIfIndented(in.content())) {
            in.passConstants();
            out.setCarry(in.carry());
            continue;
        }
        const bool moreOut = out.next();
        if (!moreIn && !moreOut) break;
        const bool sameText = moreIn && moreOut && in.sameTextAs(out);
        if (!moreOut || (moreIn && !sameText && in.significant() != out.significant()))
            return differs(SafetyDifference::LineChanged, in.line(),
                           "line " + std::to_string(in.line()) + " is changed or missing after formatting");
        if (!moreIn)
            return differs(SafetyDifference::AddedText, out.line(),
                           "formatting added text at output line " + std::to_string(out.line()));
        if (sameText && in.passConstantsWith(out)) continue;
        in.takeConstants();
        out.takeConstants();
        if (!sameConstants(in, out, verdict)) return verdict;
    }
    if (!in.constants().empty())
        return differs(SafetyDifference::ConstantMissing, in.constants().frontLine(),
                       "a character constant on line " + std::to_string(in.constants().frontLine()) +
                           " is missing after formatting");
    if (!out.constants().empty())
        return differs(SafetyDifference::AddedConstant, out.constants().frontLine(),
                       "formatting added a character constant at output line " +
                           std::to_string(out.constants().frontLine()));
    return verdict;
}

template <typename A, typename B>
SafetyVerdict compare(Scanner<A> in, Scanner<B> out) {
    return compare(std::move(in), std::move(out), [](const Scanner<A>&, const Scanner<B>&) {});
}

}  // namespace

SafetyVerdict checkSafety(const std::vector<std::string_view>& inputLines,
                          const std::vector<std::string_view>& outputLines) {
    return compare(Scanner<ListLines>(ListLines(inputLines)), Scanner<ListLines>(ListLines(outputLines)));
}

SafetyVerdict checkSafety(std::string_view inputText, std::string_view outputText) {
    return compare(Scanner<TextLines>(TextLines(inputText)), Scanner<TextLines>(TextLines(outputText)));
}

SafetyVerdict checkSafety(const std::vector<std::string_view>& inputLines, std::string_view outputText) {
    return compare(Scanner<ListLines>(ListLines(inputLines)), Scanner<TextLines>(TextLines(outputText)));
}

}  // namespace codekiln

namespace codekiln {

SafetyVerdict checkSafetyAsWritten(std::string_view inputText, PublishedText& output,
                                   const std::function<void(std::size_t)>& inputDone) {
    constexpr std::size_t kStep = 1 << 18;  // how much input is let go at once
    std::size_t released = 0;
    std::size_t nextLook = kStep;
    auto between = [&](const Scanner<TextLines>& in, const Scanner<PublishedLines>& out) {
        const std::size_t at = in.lines().position();
        if (at < nextLook || !inputDone) return;
        nextLook = at + kStep;
        const std::size_t done = std::min(at, out.lines().inputMark());
        if (done <= released) return;
        inputDone(done);
        released = done;
    };
    return compare(Scanner<TextLines>(TextLines(inputText)), Scanner<PublishedLines>(PublishedLines(output)),
                   between);
}

}  // namespace codekiln
