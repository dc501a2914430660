// Cleaning keeps what the programmer wrote and removes only layout: blanks at
// the ends, leading tabs, runs of four blanks outside character constants,
// blank lines on request, and the banner lines an earlier run put in.
//
// Character and Hollerith constants are followed from line to line: a
// constant still open at the end of a line whose last non-blank character is
// "&" goes on in the next line that is not a comment line, after a leading "&" if there is one,
// otherwise from the line's very first character, leading blanks and tabs
// included. Such a line is stored as it stands, less its trailing blanks.
#include "engine/format/stored_lines.h"

#include "engine/format/banners.h"
#include "engine/format/constants.h"
#include "engine/state/text.h"

namespace codekiln {
namespace {

constexpr std::string_view kFourBlanks = "    ";

bool startsWith(std::string_view s, std::string_view head) { return s.substr(0, head.size()) == head; }
bool endsWith(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

/// Appends `s` to `out` with every run of four blanks shortened to one.
void appendCollapsed(std::string& out, std::string_view s) { appendReplaced(out, s, kFourBlanks, " "); }

/// Shortens runs of four blanks in `s` outside character and Hollerith
/// constants and appends the result to `out`. `state` is what is open at
/// the start of `s` and, on return, at its end.
void collapseOutsideConstants(std::string& out, std::string_view s, ConstantState& state) {
    scanConstants(
        s, state, [&](std::string_view text) { appendCollapsed(out, text); },
        [&](std::string_view text) { out.append(text); });
}

/// Whether `s` holds a run of four blanks. Such a run covers one position
/// of every residue modulo four, so probing every fourth byte finds it.
bool hasFourBlanks(std::string_view s) {
    const std::size_t n = s.size();
    for (std::size_t j = 3; j < n; j += 4) {
        if (s[j] != ' ') continue;
        std::size_t begin = j;
        while (begin > 0 && s[begin - 1] == ' ' && j - begin < 3) --begin;
        std::size_t end = j + 1;
        while (end < n && s[end] == ' ' && end - begin < 4) ++end;
        if (end - begin >= 4) return true;
    }
    return false;
}

char lastNonBlank(std::string_view s) {
    const std::string_view t = trimTrailingBlanks(s);
    return t.empty() ? '\0' : t.back();
}

}  // namespace

void StoredLines::add(std::string_view text, bool verbatim) {
    lines_.push_back(Line{nullptr, buffer_.size(), text.size(), verbatim});
    buffer_.append(text);
}

void StoredLines::addView(std::string_view text) { lines_.push_back(Line{text.data(), 0, text.size(), false}); }

void StoredLines::reserve(std::size_t lines, std::size_t bytes) {
    lines_.reserve(lines);
    buffer_.reserve(bytes);
}

bool isBannerLine(std::string_view line) {
    using namespace banner;
    if (line.empty() || line.front() != '!') return false;
    if (line == kHeaderRule || line == kHeaderTitle || line == kSeparatorRule) return true;
    if (line.size() > 1 && line[1] == '*') return line == kLineEnd;  // an empty title line, trimmed
    if (startsWith(line, kHeaderCountPrefix) && endsWith(line, kHeaderCountSuffix) &&
        line.size() >= kHeaderCountPrefix.size() + 6 + kHeaderCountSuffix.size()) {
        const std::string_view digits =
            line.substr(kHeaderCountPrefix.size(), line.size() - kHeaderCountPrefix.size() - kHeaderCountSuffix.size());
        bool allDigits = true;
        for (char c : digits) allDigits = allDigits && isDigit(c);
        if (allDigits) return true;
    }
    if (startsWith(line, kTitlePrefix) || startsWith(line, kArgumentPrefix)) {
        return endsWith(line, " " + kLineEnd);
    }
    return false;
}

bool isCodeLine(std::string_view raw) {
    // The trimmed line starts at the first non-blank; its end does not matter.
    const std::size_t first = countLeadingBlanks(raw.data(), raw.size());
    return first < raw.size() && raw[first] != '!';
}

bool LineCleaner::clean(std::string_view raw, CleanedLine& out) {
    std::string_view line = trimBlanks(raw);
    std::size_t tabs = 0;
    while (tabs < line.size() && line[tabs] == '\t') ++tabs;
    line.remove_prefix(tabs);

    const std::string_view content = trimBlanks(line);
    if (removeBlankLines_ && content.empty()) return false;
    if (isBannerLine(content)) return false;

    // A line with no run of four blanks, no continued constant and no
    // "&" at its end comes out of the cleaning as it stands.
    const bool blank = content.empty();
    const bool comment = !blank && content.front() == '!';
    if (!carried_.open() && lastNonBlank(content) != '&' && !hasFourBlanks(content)) {
        if (!blank && !comment) {
            carried_ = ConstantState{};
            continuing_ = false;
        }
        out = CleanedLine{content, false, false};
        return true;
    }

    cleaned_.clear();
    bool verbatim = false;
    if (comment) {
        appendCollapsed(cleaned_, line);
    } else if (blank) {
        // Blank lines neither end nor take part in a continued statement.
    } else {
        ConstantState state = carried_;
        if (!continuing_) state.inFormat = startsFormatStatement(content);
        if (state.open()) {
            if (content.front() == '&') {
                // Up to and including the leading "&" is outside; the
                // constant resumes right after it.
                const std::size_t amp = line.find('&');
                appendCollapsed(cleaned_, line.substr(0, amp + 1));
                collapseOutsideConstants(cleaned_, line.substr(amp + 1), state);
            } else {
                // The constant resumes at the line's first character; the
                // leading blanks and tabs belong to it.
                verbatim = true;
                collapseOutsideConstants(cleaned_, trimTrailingBlanks(raw), state);
            }
        } else {
            collapseOutsideConstants(cleaned_, line, state);
        }
        continuing_ = lastNonBlank(cleaned_) == '&';
        carried_ = continuing_ ? state : ConstantState{};
    }
    out = CleanedLine{verbatim ? trimTrailingBlanks(cleaned_) : trimBlanks(cleaned_), verbatim, true};
    return true;
}

ReadResult readStoredLines(const std::vector<std::string_view>& rawLines, const FormatOptions& options) {
    ReadResult result;
    std::size_t bytes = 0;
    for (std::string_view raw : rawLines) bytes += raw.size();
    result.stored.reserve(rawLines.size(), bytes / 8);

    LineCleaner cleaner(options);
    for (std::string_view raw : rawLines) {
        if (isCodeLine(raw)) ++result.lineCount;
        CleanedLine line;
        if (!cleaner.clean(raw, line)) continue;
        if (line.copied)
            result.stored.add(line.text, line.verbatim);
        else
            result.stored.addView(line.text);
    }
    return result;
}

}  // namespace codekiln
