// Windows' own converters: the same on every Qt, with or without ICU, and a
// system code page that reports what it cannot hold. Where code page 54936
// is missing (Wine), GB18030 goes through code page 936, the two-byte part
// the two share: the four-byte forms, and the byte 0x80 that 936 alone
// reads as the euro sign, are refused rather than read another way.
#include "platform/legacy_codecs.h"

#include "platform/windows_codepage.h"

namespace codekiln {

namespace {

constexpr unsigned kGbkCodePage = 936;

// Whether GB18030 `bytes` use single bytes and two-byte forms only.
bool inTwoBytePart(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) continue;
        if (lead == 0x80 || lead == 0xFF || i + 1 == bytes.size()) return false;
        const auto trail = static_cast<unsigned char>(bytes[++i]);
        if (trail >= 0x30 && trail <= 0x39) return false;  // a four-byte form
    }
    return true;
}

unsigned codePageOf(TextEncoding encoding) {
    if (encoding != TextEncoding::Gb18030) return ansiCodePage();
    return hasFullGb18030() ? kGb18030CodePage : kGbkCodePage;
}

}  // namespace

bool hasFullGb18030() { return hasCodePage(kGb18030CodePage); }

bool hasConverter(TextEncoding encoding) { return hasCodePage(codePageOf(encoding)); }

bool legacyToUtf8(TextEncoding encoding, std::string_view bytes, std::string& utf8) {
    const unsigned codePage = codePageOf(encoding);
    if (codePage == kGbkCodePage && !inTwoBytePart(bytes)) return false;
    return codePageToUtf8(codePage, bytes, utf8);
}

bool utf8ToLegacy(TextEncoding encoding, std::string_view utf8, std::string& bytes) {
    const unsigned codePage = codePageOf(encoding);
    return utf8ToCodePage(codePage, utf8, bytes) && (codePage != kGbkCodePage || inTwoBytePart(bytes));
}

}  // namespace codekiln
