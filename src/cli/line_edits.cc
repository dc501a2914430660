// The edit script comes from dtl, as for --diff; the hunks are its runs of
// removed and added lines.
#include "cli/line_edits.h"

#include <dtl/dtl.hpp>

namespace codekiln {

std::vector<std::string> linesWithEnds(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
            lines.push_back(text.substr(start, i + 1 - start));
            start = i + 1;
        }
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

namespace {

// What a line says, whatever its indentation, letter case and line end:
// lines that only formatting tells apart are paired with each other.
std::string lineKey(const std::string& line) {
    std::size_t begin = 0;
    std::size_t end = line.size();
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (begin < end && blank(line[begin])) ++begin;
    while (end > begin && blank(line[end - 1])) --end;
    std::string key = line.substr(begin, end - begin);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}

}  // namespace

std::vector<LineHunk> lineHunks(const std::string& before, const std::string& after) {
    const std::vector<std::string> a = linesWithEnds(before);
    const std::vector<std::string> b = linesWithEnds(after);
    std::vector<std::string> aKeys;
    std::vector<std::string> bKeys;
    for (const std::string& line : a) aKeys.push_back(lineKey(line));
    for (const std::string& line : b) bKeys.push_back(lineKey(line));
    dtl::Diff<std::string, std::vector<std::string>> diff(aKeys, bKeys);
    diff.compose();
    std::vector<LineHunk> hunks;
    LineHunk open;
    bool isOpen = false;
    const auto close = [&] {
        if (!isOpen) return;
        if (open.count == open.lines.size()) {
            for (std::size_t i = 0; i < open.count; ++i)
                if (a[open.first + i] != open.lines[i]) hunks.push_back({open.first + i, 1, {open.lines[i]}});
        } else {
            hunks.push_back(open);
        }
        open = LineHunk{};
        isOpen = false;
    };
    std::size_t i = 0;  // the next line of `before`
    std::size_t j = 0;  // the next line of `after`
    for (const auto& element : diff.getSes().getSequence()) {
        const dtl::edit_t type = element.second.type;
        if (type == dtl::SES_COMMON) {
            close();
            if (a[i] != b[j]) hunks.push_back({i, 1, {b[j]}});
            ++i;
            ++j;
            continue;
        }
        if (!isOpen) open.first = i;
        isOpen = true;
        if (type == dtl::SES_DELETE) {
            ++open.count;
            ++i;
        } else {
            open.lines.push_back(b[j]);
            ++j;
        }
    }
    close();
    return hunks;
}

std::string applyInRange(const std::string& before, const std::string& after, std::size_t firstLine,
                         std::size_t lastLine) {
    return applyInRanges(before, after, {{firstLine, lastLine}});
}

std::string applyInRanges(const std::string& before, const std::string& after,
                          const std::vector<LineRange>& ranges) {
    if (ranges.empty()) return before;
    const std::vector<std::string> lines = linesWithEnds(before);
    const auto inside = [&](const LineHunk& hunk) {
        const std::size_t first = hunk.first + 1;  // 1-based
        for (const LineRange& range : ranges) {
            if (hunk.count == 0 ? first > range.first && first <= range.last
                                : first >= range.first && first + hunk.count - 1 <= range.last)
                return true;
        }
        return false;
    };
    std::string result;
    std::size_t next = 0;  // the next line of `before` not yet copied
    for (const LineHunk& hunk : lineHunks(before, after)) {
        if (!inside(hunk)) continue;
        for (; next < hunk.first; ++next) result += lines[next];
        for (const std::string& line : hunk.lines) result += line;
        next = hunk.first + hunk.count;
    }
    for (; next < lines.size(); ++next) result += lines[next];
    return result;
}

}  // namespace codekiln
