// Character constants and Hollerith constants: the stretches of a statement
// whose every byte, blanks included, is part of a value. Reading, writing
// and the safety check all find them the same way.
//
// A character constant is opened by ' or " outside a constant and closed by
// the next same quote (a doubled quote stays inside). In a FORMAT statement,
// nH or nh, where n is an unsigned decimal number that does not follow a
// letter, digit or underscore, is followed by a Hollerith constant of the
// next n characters. A "!" outside a constant starts a comment that runs to
// the end of the line and holds no constants.
#pragma once

#include <cstddef>
#include <algorithm>
#include <string_view>

namespace codekiln {

/// A constant still open at the end of a line, and whether the statement is
/// a FORMAT statement, carried into the statement's next line.
struct ConstantState {
    char quote = 0;                 ///< delimiter of an open character constant, 0 when none
    std::size_t hollerithLeft = 0;  ///< characters an open Hollerith constant still takes
    bool inFormat = false;          ///< Hollerith constants count in this statement

    bool open() const { return quote != 0 || hollerithLeft != 0; }
    bool operator==(const ConstantState& o) const {
        return quote == o.quote && hollerithLeft == o.hollerithLeft && inFormat == o.inFormat;
    }
    bool operator!=(const ConstantState& o) const { return !(*this == o); }
};

/// Whether `code` (a statement's first line, without its leading blanks in
/// free form, the statement text in fixed form) starts a FORMAT statement:
/// an optional label of digits, then the word FORMAT (either case) and,
/// after optional blanks, "(".
bool startsFormatStatement(std::string_view code);

/// Walks `line` from left to right, handing each stretch in order to
/// `outside(text)` (text whose blanks are layout) or to `constant(text)` (a
/// constant, or the part of it on this line). `state` is what is open at the
/// start and, on return, what is open at the end. A comment, from its "!"
/// on, goes to `outside`.
template <typename Outside, typename Constant>
void scanConstants(std::string_view line, ConstantState& state, Outside&& outside, Constant&& constant);

namespace constants_detail {
bool isWordChar(char c);
/// The Hollerith count that the digits `digits` give, capped far above any line's length.
std::size_t hollerithCount(std::string_view digits);

/// Where the character constant delimited by `quote` closes in `line`,
/// searched from `from` on: the index of the closing quote (a doubled quote
/// stays inside), or the line's length when the constant runs past its end.
inline std::size_t closingQuote(std::string_view line, std::size_t from, char quote) {
    const std::size_t n = line.size();
    std::size_t j = from;
    while (j < n) {
        if (line[j] == quote) {
            if (j + 1 < n && line[j + 1] == quote) {
                j += 2;
                continue;
            }
            break;
        }
        ++j;
    }
    return j;
}
}  // namespace constants_detail

template <typename Outside, typename Constant>
void scanConstants(std::string_view line, ConstantState& state, Outside&& outside, Constant&& constant) {
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    const std::size_t n = line.size();
    std::size_t i = 0;
    while (i < n) {
        if (state.quote != 0) {
            // Up to and including the closing quote.
            const std::size_t j = constants_detail::closingQuote(line, i, state.quote);
            if (j == n) {
                constant(line.substr(i));
                return;
            }
            constant(line.substr(i, j + 1 - i));
            state.quote = 0;
            i = j + 1;
            continue;
        }
        if (state.hollerithLeft != 0) {
            const std::size_t take = std::min(state.hollerithLeft, n - i);
            constant(line.substr(i, take));
            state.hollerithLeft -= take;
            i += take;
            continue;
        }
        // Outside: up to the next quote, comment or Hollerith count.
        std::size_t digitsFrom = kNone;  // where a run of digits that may be a count starts
        std::size_t j = i;
        for (; j < n; ++j) {
            const char c = line[j];
            if (c == '\'' || c == '"' || c == '!') break;
            if (!state.inFormat) continue;
            if (c >= '0' && c <= '9') {
                const bool runGoesOn = j > 0 && line[j - 1] >= '0' && line[j - 1] <= '9';
                if (!runGoesOn) digitsFrom = (j == 0 || !constants_detail::isWordChar(line[j - 1])) ? j : kNone;
                continue;
            }
            if ((c == 'h' || c == 'H') && digitsFrom != kNone &&
                constants_detail::hollerithCount(line.substr(digitsFrom, j - digitsFrom)) != 0)
                break;
            digitsFrom = kNone;
        }
        if (j == n || line[j] == '!') {
            outside(line.substr(i));
            return;
        }
        if (line[j] == '\'' || line[j] == '"') {
            outside(line.substr(i, j - i));
            state.quote = line[j];
            i = j;
            // The opening quote goes with the constant: scan on from after it.
            const std::size_t k = constants_detail::closingQuote(line, j + 1, state.quote);
            if (k == n) {
                constant(line.substr(j));
                return;
            }
            constant(line.substr(j, k + 1 - j));
            state.quote = 0;
            i = k + 1;
            continue;
        }
        // A Hollerith constant: its count, the H and the next n characters.
        outside(line.substr(i, digitsFrom - i));
        const std::size_t count = constants_detail::hollerithCount(line.substr(digitsFrom, j - digitsFrom));
        const std::size_t take = std::min(count, n - (j + 1));
        constant(line.substr(digitsFrom, j + 1 + take - digitsFrom));
        state.hollerithLeft = count - take;
        i = j + 1 + take;
    }
}

}  // namespace codekiln
