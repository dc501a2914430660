#include "run/modern_check.h"

#include <cstring>
#include <vector>

#include "engine/format/fixed_form.h"
#include "engine/format/line_splitter.h"

namespace codekiln {

namespace {

struct RawLine {
    std::string_view content;
    std::string_view end;  // "\n", "\r\n", "\r" or "" for a last line without one
};

// Splits where the reader splits, keeping each line's end.
std::vector<RawLine> splitKeepingEnds(std::string_view text) {
    std::vector<RawLine> lines;
    LineSplitter splitter(text);
    for (RawLine line; splitter.next(line.content, line.end);) lines.push_back(line);
    return lines;
}

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
    const std::vector<RawLine> in = splitKeepingEnds(before);
    const std::vector<RawLine> out = splitKeepingEnds(after);
    // A last line of blanks alone, with no line end, written empty is no
    // line at all: the text ends with the line end before it.
    const bool lastBlankGone = in.size() == out.size() + 1 && in.back().end.empty() && core(in.back().content).empty();
    if (in.size() != out.size() && !lastBlankGone) {
        return Status::failure(Why::LineCountChanged)
            .at(static_cast<long long>(in.size()), static_cast<long long>(out.size()));
    }
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto line = static_cast<long long>(i + 1);
        if (in[i].end != out[i].end) return Status::failure(Why::LineEndChanged).at(line);
        if (in[i].content == out[i].content) continue;
        const bool kept = form == SourceForm::Fixed ? fixedLineKept(in[i].content, out[i].content)
                                                    : reindented(in[i].content, out[i].content, false);
        if (!kept) return Status::failure(Why::MoreThanBlanks).at(line);
    }
    return Status::success();
}

}  // namespace codekiln
