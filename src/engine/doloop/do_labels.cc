// The record keeps, per label text, the number of loops still open. A line
// that carries a label closes every loop open on that label at once, and
// each closed loop takes one step of indentation with it.
#include "engine/doloop/do_labels.h"

#include <charconv>
#include <string>

#include "engine/state/text.h"

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

/// For a number too large or too small for a double: whether it is too
/// large (then it reads as infinite, which is not zero) rather than too small
/// (then it reads as zero). Its size is judged by where its first non-zero
/// digit stands against the decimal point, moved by the exponent.
bool overflows(std::string_view number) {
    long long position = 0;  // the power of ten of the first non-zero digit, plus one
    bool seenPoint = false;
    bool seenNonZero = false;
    std::size_t i = 0;
    for (; i < number.size() && number[i] != 'e'; ++i) {
        const char c = number[i];
        if (c == '.') {
            seenPoint = true;
        } else if (isDigit(c)) {
            if (!seenNonZero && c != '0') {
                seenNonZero = true;
            } else if (!seenNonZero && seenPoint) {
                --position;
            }
            if (seenNonZero && !seenPoint) ++position;
        }
    }
    if (!seenNonZero) return false;
    long long exponent = 0;
    if (i < number.size()) {
        bool negative = false;
        for (++i; i < number.size(); ++i) {
            if (number[i] == '-') negative = true;
            if (isDigit(number[i]) && exponent < 1000000000) exponent = exponent * 10 + (number[i] - '0');
        }
        if (negative) exponent = -exponent;
    }
    return position + exponent > 0;
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
    // The value as a double, read the same under every locale: an exponent
    // may make a tiny mantissa zero, or a huge one infinite (not zero).
    double value = 0.0;
    const char* first = number.data();
    if (*first == '+') ++first;  // from_chars takes a minus sign only
    const auto [end, error] = std::from_chars(first, number.data() + number.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) return overflows(number);
    return value != 0.0;
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

void do77(std::string_view sr2, DoLabelRecord& record) {
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
    ++record.doLabelCount;
    ++record.openLoops[token];
}

bool continucl(std::string_view sr2, DoLabelRecord& record, int& indentColumns) {
    const std::string_view s = trimBlanks(sr2);
    std::int64_t matches = 0;
    if (!s.empty() && isDigit(s.front())) {
        std::size_t len = 0;
        while (len < s.size() && isDigit(s[len])) ++len;
        if (record.doLabelCount == 0) return false;
        auto& open = record.openLoops;
        const auto it = open.find(std::string(s.substr(0, len)));
        if (it != open.end()) {
            matches = it->second;
            it->second = 0;
        }
    }
    const std::int64_t lowered = static_cast<std::int64_t>(indentColumns) - 4 * matches;
    indentColumns = lowered < 0 ? 0 : static_cast<int>(lowered);
    return matches > 0;
}

}  // namespace codekiln
