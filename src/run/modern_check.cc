#include "run/modern_check.h"

#include <cstring>

#include "engine/format/fixed_form.h"
#include "engine/format/line_splitter.h"

namespace codekiln {

namespace {

bool isWhite(char c) { return c == ' ' || c == '\t'; }

// The text from the first to the last character that is no blank or tab.
std::string_view core(std::string_view s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && isWhite(s[b])) ++b;
    while (e > b && isWhite(s[e - 1])) --e;
    return s.substr(b, e - b);
}

bool onlyBlanks(std::string_view s) {
    for (char c : s)
        if (c != ' ') return false;
    return true;
}

// `out` is blanks, then the core of `in`, then (when `trailingAllowed`) blanks.
bool reindented(std::string_view in, std::string_view out, bool trailingAllowed) {
    const std::string_view c = core(in);
    if (c.empty()) return out.empty() || (trailingAllowed && onlyBlanks(out));
    std::size_t lead = 0;
    while (lead < out.size() && out[lead] == ' ') ++lead;
    if (out.compare(lead, c.size(), c) != 0) return false;
    const std::string_view rest = out.substr(std::min(out.size(), lead + c.size()));
    return rest.empty() || (trailingAllowed && onlyBlanks(rest));
}

bool fixedLineKept(std::string_view in, std::string_view out) {
    const FixedLine a = cutFixedLine(in);
    if (a.kind == FixedLine::Kind::Blank) return reindented(in, out, false);
    if (a.kind == FixedLine::Kind::Comment) return false;  // comment lines only byte for byte
    const FixedLine b = cutFixedLine(out);
    if (b.kind != a.kind || b.field != a.field) return false;
    const std::size_t fieldSize = a.field.size();
    return reindented(in.substr(fieldSize), out.substr(fieldSize), true);
}

}  // namespace

Status checkModernLines(std::string_view before, std::string_view after, SourceForm form) {
    // The line counts first, then the lines in step: both texts are split as
    // they are walked, without a list of either's lines.
    std::size_t inCount = 0;
    std::string_view lastContent;
    std::string_view lastEnd;
    LineSplitter countIn(before);
    for (std::string_view content, end; countIn.next(content, end); ++inCount) {
        lastContent = content;
        lastEnd = end;
    }
    std::size_t outCount = 0;
    LineSplitter countOut(after);
    for (std::string_view content; countOut.next(content);) ++outCount;
    // A last line of blanks alone, with no line end, written empty is no
    // line at all: the text ends with the line end before it.
    const bool lastBlankGone = inCount == outCount + 1 && lastEnd.empty() && core(lastContent).empty();
    if (inCount != outCount && !lastBlankGone) {
        return Status::failure(Why::LineCountChanged)
            .at(static_cast<long long>(inCount), static_cast<long long>(outCount));
    }
    LineSplitter in(before);
    LineSplitter out(after);
    std::string_view inContent, inEnd, outContent, outEnd;
    for (std::size_t i = 0; out.next(outContent, outEnd) && in.next(inContent, inEnd); ++i) {
        const auto line = static_cast<long long>(i + 1);
        if (inEnd != outEnd) return Status::failure(Why::LineEndChanged).at(line);
        if (inContent == outContent) continue;
        const bool kept = form == SourceForm::Fixed ? fixedLineKept(inContent, outContent)
                                                    : reindented(inContent, outContent, false);
        if (!kept) return Status::failure(Why::MoreThanBlanks).at(line);
    }
    return Status::success();
}

}  // namespace codekiln
