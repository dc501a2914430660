// The record keeps, per label text, the number of loops still open; closing
// a label closes all of them at once, which is what a scan over every entry
// recorded since the last reset, overwriting the matches, comes to.
#include "doloop/do_labels.h"

#include <cstdlib>
#include <string>

#include "state/text.h"

namespace codekiln {
namespace {

/// Shortens runs of blanks by six replacements in this order: four blanks,
/// three, two, then the same three again, each by one blank. Runs of up to
/// 226 blanks end as one blank; some longer ones keep two or more.
std::string shortenBlankRuns(std::string_view s) {
    std::string t(s);
    if (!contains(s, "  ")) return t;  // no run to shorten
    for (int round = 0; round < 2; ++round) {
        t = replaceAll(t, "    ", " ");
        t = replaceAll(t, "   ", " ");
        t = replaceAll(t, "  ", " ");
    }
    return t;
}

}  // namespace

bool readsAsNonZero(std::string_view token) {
    std::size_t i = 0;
    const std::size_t n = token.size();
    std::string number;
    if (i < n && (token[i] == '+' || token[i] == '-')) number.push_back(token[i++]);
    bool digits = false;
    bool point = false;
    for (; i < n; ++i) {
        const char c = token[i];
        if (isDigit(c)) {
            digits = true;
            number.push_back(c);
        } else if (c == '.' && !point) {
            point = true;
            number.push_back(c);
        } else {
            break;
        }
    }
    if (!digits) return false;
    // An exponent: e or d, an optional sign, and at least one digit.
    if (i < n && (token[i] == 'e' || token[i] == 'd' || token[i] == 'E' || token[i] == 'D')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < n && (token[j] == '+' || token[j] == '-')) exponent.push_back(token[j++]);
        const std::size_t expDigits = j;
        while (j < n && isDigit(token[j])) exponent.push_back(token[j++]);
        if (j > expDigits) number += exponent;
    }
    // The value as a double: an exponent may make a tiny mantissa zero, or a
    // huge one infinite (which is not zero).
    return std::strtod(number.c_str(), nullptr) != 0.0;
}

namespace {

/// Where the word DO (either case) followed by a blank first stands in `s`
/// with a blank or the start of the line before it; npos when nowhere.
std::size_t findDoWord(std::string_view s) {
    const std::size_t n = s.size();
    for (std::size_t i = 0; i + 2 < n; ++i) {
        if ((s[i] | 0x20) != 'd' || (s[i + 1] | 0x20) != 'o' || s[i + 2] != ' ') continue;
        if (i == 0 || s[i - 1] == ' ') return i;
    }
    return std::string_view::npos;
}

}  // namespace

void do77(std::string_view sr2, SessionState& state) {
    const std::string_view line = trimBlanks(sr2);
    if (line.empty() || line.front() == '!' || !contains(line, "=")) return;
    // Search " do " in the line with one blank put in front, so that a DO at
    // the very start is found; what stands before that DO is dropped.
    const std::size_t at = findDoWord(line);
    if (at == std::string_view::npos) return;
    // From that DO on, runs of blanks are shortened; token 1 is what then
    // stands between the first and the second blank. Without a run of two
    // blanks there is nothing to shorten, and the text is used as it is.
    const std::string_view fromDo = line.substr(at);
    std::string shortened;
    std::string_view rest = fromDo;
    if (contains(fromDo, "  ")) {
        shortened = shortenBlankRuns(fromDo);
        rest = shortened;
    }
    const std::size_t firstBlank = rest.find(' ');
    if (firstBlank == std::string_view::npos) return;
    const std::size_t begin = firstBlank + 1;
    const std::size_t end = rest.find(' ', begin);
    const std::string token = toLowerAscii(rest.substr(begin, end == std::string_view::npos ? end : end - begin));
    if (!readsAsNonZero(token)) return;
    ++state.doLabels.doLabelCount;
    ++state.doLabels.openLoops[token];
}

bool continucl(std::string_view sr2, SessionState& state) {
    const std::string_view s = trimBlanks(sr2);
    std::int64_t matches = 0;
    if (!s.empty() && isDigit(s.front())) {
        std::size_t len = 0;
        while (len < s.size() && isDigit(s[len])) ++len;
        if (state.doLabels.doLabelCount == 0) return false;
        auto& open = state.doLabels.openLoops;
        const auto it = open.find(std::string(s.substr(0, len)));
        if (it != open.end()) {
            matches = it->second;
            it->second = 0;
        }
    }
    const std::int64_t lowered = static_cast<std::int64_t>(state.indentColumns) - 4 * matches;
    state.indentColumns = lowered < 0 ? 0 : static_cast<int>(lowered);
    return matches > 0;
}

}  // namespace codekiln
