// Banner texts and the separator banner's look-ahead. The look-ahead knows no
// Fortran keywords: the next unit is named after the last word before the
// first "(" of the first later line that holds one and is not a comment, and
// its arguments are what stands between that "(" and the next one.
#include "engine/format/banners.h"

#include <algorithm>

#include "engine/state/text.h"

namespace codekiln::banner {
namespace {

std::string repeat(char c, std::size_t n) { return std::string(n, c); }

constexpr std::size_t kBannerTextWidth = 73;

}  // namespace

const std::string kHeaderRule = "! " + repeat('*', 97) + "!";
const std::string kHeaderTitle =
    "! " + repeat('*', 22) + repeat(' ', 14) + "本模块代码行数" + repeat(' ', 14) + repeat('*', 33) + "!";
const std::string kHeaderCountPrefix = "! " + repeat('*', 22) + repeat(' ', 16);
const std::string kHeaderCountSuffix = "(行)" + repeat(' ', 16) + repeat('*', 33) + "!";
const std::string kSeparatorRule = "! " + repeat('*', 90) + " !";
const std::string kTitlePrefix = "! " + repeat('*', 15) + repeat(' ', 20) + "程序: ";
const std::string kArgumentPrefix = "! " + repeat('*', 15) + repeat(' ', 20) + "参数: ";
const std::string kLineEnd = "!" + repeat('*', 16) + " !";

std::string headerCount(std::int64_t lineCount) {
    std::string digits = std::to_string(lineCount);
    if (digits.size() < 6) digits.insert(0, 6 - digits.size(), '0');
    return digits;
}

std::vector<std::string> headerLines(std::int64_t lineCount) {
    return {kHeaderRule,
            kHeaderRule,
            kHeaderTitle,
            kHeaderCountPrefix + headerCount(lineCount) + kHeaderCountSuffix,
            kHeaderRule,
            kHeaderRule};
}

std::string bannerLine(std::string_view text) {
    const std::size_t chars = countChars(text);
    const std::size_t blanks = chars < kBannerTextWidth - 1 ? kBannerTextWidth - chars : 1;
    std::string line;
    line.reserve(text.size() + blanks + kLineEnd.size());
    line.append(text);
    line.append(blanks, ' ');
    line.append(kLineEnd);
    return line;
}

bool readUnitHeader(std::string_view text, UnitHeading& heading) {
    const std::string t = toLowerAscii(trimBlanks(text));
    if (t.empty() || t.front() == '!' || t.front() == 'c') return false;
    const std::size_t open = t.find('(');
    if (open == std::string::npos) return false;

    const std::string_view part0 = trimBlanks(std::string_view(t).substr(0, open));
    if (!part0.empty()) {
        const std::size_t lastBlank = part0.rfind(' ');
        const std::string_view name = lastBlank == std::string_view::npos ? part0 : part0.substr(lastBlank + 1);
        heading.unitTitle = kTitlePrefix + std::string(name);
    }

    const std::size_t next = t.find('(', open + 1);
    const std::string_view part1 =
        std::string_view(t).substr(open + 1, next == std::string::npos ? std::string::npos : next - open - 1);
    std::string args;
    for (char c : part1)
        if (c != ')') args.push_back(c);
    std::vector<std::string> list;
    if (!args.empty()) {
        std::size_t from = 0;
        for (;;) {
            const std::size_t comma = args.find(',', from);
            list.push_back(args.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
            if (comma == std::string::npos) break;
            from = comma + 1;
        }
    }
    heading.unitArguments = std::move(list);
    return true;
}

void lookAhead(const StoredLines& stored, std::size_t i, UnitHeading& heading) { lookAheadIn(stored, i, heading); }

void SeparatorWriter::write(std::size_t headerBefore, DoLabelRecord& doLabels, LineWriter& writer) {
    if (heading_.headerLine != headerBefore || lines_.empty()) lines_ = separatorLines(heading_);
    doLabels.reset();
    for (const std::string& line : lines_) writer.line(0, line);
}

std::vector<std::string> separatorLines(const UnitHeading& heading) {
    std::vector<std::string> lines;
    lines.push_back(kSeparatorRule);
    lines.push_back(bannerLine(heading.unitTitle));
    if (heading.unitArguments) {
        for (const std::string& a : *heading.unitArguments) lines.push_back(bannerLine(kArgumentPrefix + a));
    }
    lines.push_back(kSeparatorRule);
    return lines;
}

}  // namespace codekiln::banner
