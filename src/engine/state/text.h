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

/// The number of blanks the `n` bytes at `p` start with. Indentation runs
/// are long, so eight bytes are tried at a time.
inline std::size_t countLeadingBlanks(const char* p, std::size_t n) {
    std::size_t i = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ && (defined(__GNUC__) || defined(__clang__))
    constexpr std::uint64_t kBlanks = 0x2020202020202020ULL;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t v;
        std::memcpy(&v, p + i, 8);
        const std::uint64_t other = v ^ kBlanks;  // non-zero in the bytes that are no blank
        if (other != 0) return i + static_cast<std::size_t>(__builtin_ctzll(other)) / 8;
    }
#endif
    while (i < n && p[i] == ' ') ++i;
    return i;
}

/// Where the first blank stands among the `n` bytes at `p`, or `n` when
/// none does. Eight bytes are tried at a time: a blank turns to a zero byte
/// under the XOR, and the lowest zero byte is found exactly (the borrow of
/// the test runs only upwards from it).
inline std::size_t findBlank(const char* p, std::size_t n) {
    std::size_t i = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ && (defined(__GNUC__) || defined(__clang__))
    constexpr std::uint64_t kBlanks = 0x2020202020202020ULL;
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t v;
        std::memcpy(&v, p + i, 8);
        const std::uint64_t x = v ^ kBlanks;
        const std::uint64_t zero = (x - kOnes) & ~x & kHigh;
        if (zero != 0) return i + static_cast<std::size_t>(__builtin_ctzll(zero)) / 8;
    }
#endif
    while (i < n && p[i] != ' ') ++i;
    return i;
}

/// The text without blanks (U+0020) at either end; tabs stay.
inline std::string_view trimBlanks(std::string_view s) {
    const std::size_t b = countLeadingBlanks(s.data(), s.size());
    std::size_t e = s.size();
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

/// A lower-cased copy of one text at a time, in storage kept from one text
/// to the next: the bytes are lower-cased as they are copied, in one pass.
class LowerCaseCopy {
public:
    /// Copies `s` lower-cased; the copy is valid until the next call.
    std::string_view assign(std::string_view s) {
        const std::size_t n = s.size();
        if (n > buffer_.size()) buffer_.resize(n > 2 * buffer_.size() ? n : 2 * buffer_.size());
        char* p = &buffer_[0];
        const char* q = s.data();
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            std::uint64_t v;
            std::memcpy(&v, q + i, 8);
            v = lowerAscii8(v);
            std::memcpy(p + i, &v, 8);
        }
        for (; i < n; ++i) p[i] = lowerAscii(q[i]);
        text_ = std::string_view(p, n);
        return text_;
    }
    std::string_view text() const { return text_; }

private:
    std::string buffer_;
    std::string_view text_;
};

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
