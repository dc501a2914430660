// Finding FORMAT statements and reading Hollerith counts.
#include "engine/format/constants.h"

#include "engine/state/text.h"

namespace codekiln {

namespace constants_detail {

bool isWordChar(char c) {
    return isDigit(c) || c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::size_t hollerithCount(std::string_view digits) {
    constexpr std::size_t kCap = 1000000;  // no line is that long; the cap only keeps the count from overflowing
    std::size_t value = 0;
    for (char c : digits) {
        value = value * 10 + static_cast<std::size_t>(c - '0');
        if (value > kCap) return kCap;
    }
    return value;
}

}  // namespace constants_detail

bool startsFormatStatement(std::string_view code) {
    std::size_t i = 0;
    const std::size_t n = code.size();
    while (i < n && code[i] == ' ') ++i;
    while (i < n && isDigit(code[i])) ++i;
    while (i < n && code[i] == ' ') ++i;
    constexpr std::string_view kWord = "format";
    if (n - i < kWord.size()) return false;
    for (std::size_t k = 0; k < kWord.size(); ++k)
        if (lowerAscii(code[i + k]) != kWord[k]) return false;
    i += kWord.size();
    while (i < n && code[i] == ' ') ++i;
    return i < n && code[i] == '(';
}

}  // namespace codekiln
