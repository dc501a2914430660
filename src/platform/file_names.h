// File names as a person can read them in a message: a name is kept as the
// file system has it (bytes) for every file operation, and only escaped when
// it is shown, so that a line break or an undecodable byte in a name can
// neither break a message apart nor pass for another name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace codekiln {

/// The length of the well-formed UTF-8 sequence at `i` of `s` (1 to 4), 0
/// when the bytes there are not one.
inline std::size_t utf8SequenceAt(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80) return 1;
    std::size_t extra = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        extra = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
        extra = 2;
        if (c == 0xE0) lo = 0xA0;  // no overlong forms
        if (c == 0xED) hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        extra = 3;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (s.size() - i <= extra || byte(i + 1) < lo || byte(i + 1) > hi) return 0;
    for (std::size_t k = 2; k <= extra; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    }
    return extra + 1;
}

/// `name` for a message: control characters and bytes that are not UTF-8
/// written as \xNN; everything else as it stands.
inline std::string escapedName(std::string_view name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        const auto c = static_cast<unsigned char>(name[i]);
        const std::size_t n = utf8SequenceAt(name, i);
        if (n == 0 || c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
            ++i;
            continue;
        }
        out.append(name, i, n);
        i += n;
    }
    return out;
}

/// Whether every byte of `name` is well-formed UTF-8.
inline bool isUtf8Name(std::string_view name) {
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t n = utf8SequenceAt(name, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

}  // namespace codekiln
