// Text terms shared by every stage: a blank is the space character only (a tab
// is an ordinary character), to trim is to remove blanks at both ends, and to
// lower-case is to turn the ASCII letters A-Z into a-z, leaving every other
// byte alone so that multi-byte text stays intact.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace codekiln {

/// The text without blanks (U+0020) at either end; tabs stay.
inline std::string_view trimBlanks(std::string_view s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && s[b] == ' ') ++b;
    while (e > b && s[e - 1] == ' ') --e;
    return s.substr(b, e - b);
}

/// The text without blanks at its end.
inline std::string_view trimTrailingBlanks(std::string_view s) {
    std::size_t e = s.size();
    while (e > 0 && s[e - 1] == ' ') --e;
    return s.substr(0, e);
}

inline char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

/// A lower-cased copy: ASCII letters only.
inline std::string toLowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = lowerAscii(c);
    return out;
}

/// Lower-cases the ASCII letters among eight bytes at once: a byte below
/// 0x80 that lies in A..Z gets its 0x20 bit set; every other byte stays.
inline std::uint64_t lowerAscii8(std::uint64_t v) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
    const std::uint64_t heptets = v & ~kHigh;
    const std::uint64_t atLeastA = heptets + kOnes * (0x80 - 'A');
    const std::uint64_t aboveZ = heptets + kOnes * (0x80 - 'Z' - 1);
    const std::uint64_t upper = atLeastA & ~aboveZ & ~v & kHigh;
    return v ^ (upper >> 2);
}

/// Writes a lower-cased copy of `s` into `out`, reusing its storage.
inline void assignLowerAscii(std::string& out, std::string_view s) {
    out.assign(s);
    char* p = out.data();
    const std::size_t n = out.size();
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t v;
        std::memcpy(&v, p + i, 8);
        v = lowerAscii8(v);
        std::memcpy(p + i, &v, 8);
    }
    for (; i < n; ++i) p[i] = lowerAscii(p[i]);
}

/// Whether `token` stands in `s` as an exact, case-sensitive substring.
inline bool contains(std::string_view s, std::string_view token) { return s.find(token) != std::string_view::npos; }

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

/// The number of characters (UTF-8 code points) of the text.
inline std::size_t countChars(std::string_view s) {
    std::size_t n = 0;
    for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

/// Appends `s` to `out` with every `from` replaced by `to`, scanning once
/// from left to right without overlap and without rescanning what was put in.
inline void appendReplaced(std::string& out, std::string_view s, std::string_view from, std::string_view to) {
    std::size_t pos = 0;
    for (;;) {
        const std::size_t hit = s.find(from, pos);
        if (hit == std::string_view::npos) break;
        out.append(s.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
    out.append(s.substr(pos));
}

/// `s` with every `from` replaced by `to`, as `appendReplaced` does it.
inline std::string replaceAll(std::string_view s, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(s.size());
    appendReplaced(out, s, from, to);
    return out;
}

}  // namespace codekiln
