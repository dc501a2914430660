// Fuzzing the formatting engine: any bytes in, and the engine must not crash,
// its output must pass the safety check, and formatting that output again
// must change nothing when the input's layout is stable (see layoutStable).
// Each input is formatted twice: as the first file of a fresh session with
// the default options, and as the next file of the same session with the
// options picked by the input's length, so labelled DO loops left open by
// the first file reach the second. The output, damaged in a way the input
// picks, must then be judged by the safety check as a plain second reading
// of both texts judges it. The modern layout, in both forms, must keep the
// line count and line ends and change nothing in a free-form line but its
// leading and trailing blanks; in both forms, with any line ends, it must
// also leave its own output alone.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/format_file.h"
#include "engine/format/modern_layout.h"
#include "engine/format/safety_check.h"
#include "engine/format/stored_lines.h"
#include "safety_reference.h"
#include "engine/state/text.h"

namespace {

using codekiln::FormatOptions;
using codekiln::DoLabelRecord;

FormatOptions optionsFor(std::size_t k) {
    FormatOptions options;
    options.removeBlankLines = (k & 1) != 0;
    options.indentElse = (k & 2) == 0;
    options.showSeparators = (k & 4) == 0;
    return options;
}

/// Whether a second formatting is bound to leave the first one's output
/// alone. Two things the first formatting does are not done once for all:
/// the four-blank collapse (seven blanks become four, which the next pass
/// makes one), and the code-line count, which is taken before leading tabs
/// are removed (a line of tabs, or tabs before a comment, counts once and
/// then no more; tabs behind blanks are only reached by the next pass).
bool layoutStable(const std::vector<std::string_view>& lines) {
    for (std::string_view raw : lines) {
        if (raw.find("       ") != std::string_view::npos) return false;
        const std::string_view t = codekiln::trimBlanks(raw);
        if (t.empty() || t.front() != '\t') continue;
        std::size_t tabs = 0;
        while (tabs < t.size() && t[tabs] == '\t') ++tabs;
        const std::string_view rest = t.substr(tabs);
        const std::string_view content = codekiln::trimBlanks(rest);
        if (content.empty() || content.front() == '!' || content.front() == '\t') return false;
    }
    return true;
}

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "engine_fuzzer: %s: %s\n", what, detail.c_str());
    std::abort();
}

/// The output damaged in one of five ways, at a place and with a byte the
/// input picks: a byte dropped, a blank put in, a byte replaced, a line
/// dropped, a line split.
std::string damaged(std::string out, const std::uint8_t* data, std::size_t size) {
    if (out.empty() || size == 0) return out;
    std::size_t hash = 0;
    for (std::size_t i = 0; i < size; ++i) hash = hash * 131 + data[i];
    const std::size_t at = hash % out.size();
    switch ((hash / 7) % 5) {
        case 0:
            out.erase(at, 1);
            break;
        case 1:
            out.insert(at, 1, ' ');
            break;
        case 2:
            out[at] = static_cast<char>(data[hash % size]);
            break;
        case 3: {
            const std::size_t begin = out.rfind('\n', at);
            const std::size_t end = out.find('\n', at);
            out.erase(begin == std::string::npos ? 0 : begin + 1,
                      end == std::string::npos ? std::string::npos
                                               : end - (begin == std::string::npos ? 0 : begin + 1) + 1);
            break;
        }
        default:
            out.insert(at, "\r\n");
    }
    return out;
}

/// Whether a line may hold a Hollerith constant (a digit, then h or H, in a
/// line that names FORMAT). The plain reading knows character constants
/// only; the safety check also compares Hollerith constants byte for byte,
/// which its own tests cover, so such inputs are not compared here.
bool mayHoldHollerith(const std::vector<std::string_view>& lines) {
    for (std::string_view line : lines) {
        const std::string lower = codekiln::toLowerAscii(line);
        if (lower.find("format") == std::string::npos) continue;
        for (std::size_t k = 1; k < lower.size(); ++k)
            if (lower[k] == 'h' && lower[k - 1] >= '0' && lower[k - 1] <= '9') return true;
    }
    return false;
}

/// Whether a line ends in a CR followed only by blanks (a CR LF line end
/// split by a stray blank). The reader takes such a CR for part of the line
/// end and drops it with the trailing blanks; the plain reading keeps it as
/// text, so such inputs are not compared here either.
bool mayEndInStrayCr(const std::vector<std::string_view>& lines) {
    for (std::string_view line : lines) {
        const std::size_t cr = line.rfind('\r');
        if (cr != std::string_view::npos && line.find_first_not_of(" \t\r", cr) == std::string_view::npos)
            return true;
    }
    return false;
}

/// The safety check and the plain reading must agree on `output`.
void checkAgainstReference(const std::vector<std::string_view>& lines, const std::string& output) {
    if (mayHoldHollerith(lines) || mayEndInStrayCr(lines)) return;
    const bool same = codekiln::checkSafety(lines, output).same;
    const bool expected = codekiln::reference::significant(lines) ==
                          codekiln::reference::significant(codekiln::splitLines(output));
    if (same != expected)
        fail("the safety check disagrees with a plain reading", same ? "passed" : "refused");
}

/// Whether an output line that came from the input (it is indented) would be
/// read as one of our banner lines by the next run once its leading blanks
/// and tabs are gone: a line such as TAB, blank, TAB, "!" and a banner's
/// ending. The safety check refuses such output, and the file stays as it
/// was: a refusal, not a fault.
bool becomesBannerOnReread(const std::string& output) {
    for (std::string_view line : codekiln::splitLines(output)) {
        if (line.empty() || (line.front() != ' ' && line.front() != '\t')) continue;
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string_view::npos) continue;
        if (codekiln::isBannerLine(codekiln::trimBlanks(line.substr(start)))) return true;
    }
    return false;
}

void checkOne(std::string_view text, const std::vector<std::string_view>& lines, DoLabelRecord& doLabels,
              const FormatOptions& options, bool expectStable) {
    // The one-pass reading of the whole text and the store built from its
    // split lines must write the same and leave the same record.
    DoLabelRecord streamed = doLabels;
    const std::string once = codekiln::formatFile(lines, options, doLabels).text;
    if (codekiln::formatText(text, options, streamed).text != once)
        fail("formatting the text differs from formatting its lines", "");
    if (streamed.doLabelCount != doLabels.doLabelCount || streamed.openLoops != doLabels.openLoops)
        fail("formatting the text leaves another labelled-DO record", "");
    const codekiln::SafetyVerdict verdict = codekiln::checkSafety(lines, once);
    if (verdict.same != codekiln::checkSafety(text, once).same)
        fail("the safety check on the text disagrees with the check on its lines", verdict.reason);
    if (!verdict.same && !becomesBannerOnReread(once)) fail("safety check failed", verdict.reason);
    if (!verdict.same) return;
    checkAgainstReference(lines, once);
    if (!expectStable) return;
    DoLabelRecord fresh;
    const std::string twice = codekiln::formatText(once, options, fresh).text;
    if (twice != once) fail("formatting twice differs from formatting once", "");
}

/// The text's lines, each with its line end (LF, CR LF, a lone CR, or none
/// at the end). A last line of blanks alone without a line end is written
/// empty by the modern layout, so it is not counted.
std::vector<std::string_view> linesWithEnds(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t stop = text.find_first_of("\r\n", begin);
        if (stop == std::string_view::npos) {
            const std::string_view line = text.substr(begin);
            if (line.find_first_not_of(" \t") != std::string_view::npos) lines.push_back(line);
            break;
        }
        stop += text[stop] == '\r' && stop + 1 < text.size() && text[stop + 1] == '\n' ? 2 : 1;
        lines.push_back(text.substr(begin, stop - begin));
        begin = stop;
    }
    return lines;
}

std::string_view lineEnd(std::string_view line) {
    std::size_t n = 0;
    while (n < line.size() && (line[line.size() - 1 - n] == '\n' || line[line.size() - 1 - n] == '\r')) ++n;
    return line.substr(line.size() - n);
}

std::string_view withoutOuterBlanks(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return line.substr(first, line.find_last_not_of(" \t") - first + 1);
}

void checkModern(std::string_view text, std::size_t k) {
    codekiln::ModernOptions options;
    options.indentWidth = 1 + static_cast<int>(k % 8);
    options.indentElse = (k & 8) == 0;
    options.form = (k & 16) != 0 ? codekiln::SourceForm::Fixed : codekiln::SourceForm::Free;
    const std::string once = codekiln::formatModern(text, options).text;
    if (codekiln::formatModern(once, options).text != once)
        fail("the modern layout changed its own output", "");
    // A CR with only blanks after it on its line is read as a split CR LF
    // line end, as everywhere else; such inputs are not compared line by line.
    if (mayEndInStrayCr(codekiln::splitLines(text))) return;
    const std::vector<std::string_view> before = linesWithEnds(text);
    const std::vector<std::string_view> after = linesWithEnds(once);
    if (before.size() != after.size()) fail("the modern layout changed the line count", "");
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (lineEnd(before[i]) != lineEnd(after[i])) fail("the modern layout changed a line end", std::to_string(i + 1));
        if (options.form == codekiln::SourceForm::Free &&
            withoutOuterBlanks(before[i]) != withoutOuterBlanks(after[i]))
            fail("the modern layout changed more than a line's outer blanks", std::to_string(i + 1));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string_view> lines = codekiln::splitLines(text);
    DoLabelRecord doLabels;
    checkOne(text, lines, doLabels, optionsFor(0), layoutStable(lines));
    checkOne(text, lines, doLabels, optionsFor(size % 8), false);

    DoLabelRecord fresh;
    checkAgainstReference(lines, damaged(codekiln::formatText(text, optionsFor(0), fresh).text, data, size));
    checkModern(text, size);
    return 0;
}
