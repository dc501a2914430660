// Encoding detection: what is taken for UTF-8, what falls back to GB18030,
// and what is refused so that the file stays untouched.
#include "platform/text_codec.h"

#include <gtest/gtest.h>

namespace codekiln {
namespace {

TEST(IsValidUtf8, RejectsMalformedSequences) {
    const std::pair<std::string, bool> cases[] = {
        {"ascii, longer than eight bytes", true},
        {"中文 \xF0\x9F\x98\x80", true},
        {std::string("nul\0in", 6), true},
        {"\xC0\xAF", false},  // overlong
        {"\xE0\x80\xAF", false},
        {"\xED\xA0\x80", false},  // a surrogate
        {"\xF4\x90\x80\x80", false},
        {"abcdefgh\xE4\xB8", false},  // cut off
    };
    for (const auto& [bytes, valid] : cases) EXPECT_EQ(isValidUtf8(bytes), valid) << bytes;
}

TEST(DecodeText, DetectsTheEncodingOrRefuses) {
    const std::string gb = "\xD6\xD0\xCE\xC4";  // 中文 in GB18030
    const struct {
        std::string bytes;
        EncodingChoice choice;
        bool ok;
        TextEncoding encoding;
        bool bom;
        std::string text;
    } cases[] = {
        {"x = 1\r\n", EncodingChoice::Auto, true, TextEncoding::Utf8, false, "x = 1\r\n"},
        {"! 中文", EncodingChoice::Auto, true, TextEncoding::Utf8, false, "! 中文"},
        {"\xEF\xBB\xBF! 中文", EncodingChoice::Auto, true, TextEncoding::Utf8, true, "! 中文"},
        {"! " + gb, EncodingChoice::Auto, true, TextEncoding::Gb18030, false, "! 中文"},
        {"x", EncodingChoice::Gb18030, true, TextEncoding::Gb18030, false, "x"},
        {gb, EncodingChoice::Utf8, false, {}, false, ""},
        {"\xEF\xBB\xBF" + gb, EncodingChoice::Auto, false, {}, false, ""},  // a BOM promises UTF-8
        {"x\x81\x20y", EncodingChoice::Auto, false, {}, false, ""},         // bad in both
        {"x\x81", EncodingChoice::Auto, false, {}, false, ""},              // cut off at the end
    };
    for (const auto& c : cases) {
        TextFile file;
        const Status status = decodeText(c.bytes, c.choice, "f.f90", file);
        ASSERT_EQ(status.ok, c.ok) << c.bytes;
        if (!c.ok) {
            EXPECT_EQ(status.reason.path, "f.f90");
            continue;
        }
        EXPECT_EQ(file.encoding, c.encoding) << c.bytes;
        EXPECT_EQ(file.bom, c.bom) << c.bytes;
        EXPECT_EQ(file.text, c.text) << c.bytes;
    }
}

TEST(DecodeText, AutoNamesBothEncodingsWhenNeitherFits) {
    TextFile file;
    const Status status = decodeText("x = '\x81\x20'\n", EncodingChoice::Auto, "f.f90", file);
    ASSERT_FALSE(status.ok);
    // Without a GB18030 converter, detection falls back to the system code page.
    const bool hasGb18030 = decodeText("\xD6\xD0", EncodingChoice::Gb18030, "f.f90", file).ok;
    EXPECT_EQ(status.code(), Why::NeitherUtf8Nor);
    EXPECT_EQ(status.reason.name, hasGb18030 ? "GB18030" : "system code page");
}

// Latin-1 takes any byte as a character and gives back the same bytes;
// what it cannot hold is refused, never replaced.
TEST(Latin1, EveryByteComesBackAsItWas) {
    std::string all = "\xEF\xBB\xBF";  // no BOM in Latin-1: three characters
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    TextFile file;
    ASSERT_TRUE(decodeText(all, EncodingChoice::Latin1, "f.f", file).ok);
    EXPECT_EQ(file.encoding, TextEncoding::Latin1);
    EXPECT_FALSE(file.bom);
    EXPECT_TRUE(isValidUtf8(file.text));
    EXPECT_EQ(file.text.substr(0, 6), "\xC3\xAF\xC2\xBB\xC2\xBF");
    std::string bytes;
    ASSERT_TRUE(encodeText(file.text, TextEncoding::Latin1, false, "f.f", bytes).ok);
    EXPECT_EQ(bytes, all);
    for (const std::string bad : {"\xC4\x80", "\xE4\xB8\xAD", "\xC3", "\xC3\x28", "\xF0\x9F\x98\x80"}) {
        const Status status = encodeText("x" + bad, TextEncoding::Latin1, false, "f.f", bytes);
        EXPECT_EQ(status.code(), Why::CannotEncode) << bad;
        EXPECT_EQ(status.reason.name, "Latin-1") << bad;
    }
    EncodingChoice choice = EncodingChoice::Auto;
    for (const char* name : {"latin-1", "Latin1", "ISO-8859-1"}) {
        EXPECT_TRUE(parseEncodingChoice(name, choice)) << name;
        EXPECT_EQ(choice, EncodingChoice::Latin1) << name;
    }
}

// GB18030 both ways, with Windows' converter on Windows and Qt's elsewhere:
// the same bytes on both systems whatever the system code page; what the
// encoding cannot hold exactly, or this system cannot convert, is refused.
TEST(Gb18030, SameBytesOnEverySystem) {
    const bool four = gb18030HasFourByteForms();
    const struct {
        std::string utf8, gb;
        bool converts;
    } cases[] = {
        {"! 中文 本模块", "! \xD6\xD0\xCE\xC4 \xB1\xBE\xC4\xA3\xBF\xE9", true},
        {"\xC2\x80", "\x81\x30\x81\x30", four},          // four bytes
        {"\xF0\x9F\x98\x80", "\x94\x39\xFC\x36", four},  // beyond the BMP, four bytes
        {std::string("a\0b\r\n", 5), std::string("a\0b\r\n", 5), true},
    };
    for (const auto& c : cases) {
        std::string bytes;
        const Status encoded = encodeText(c.utf8, TextEncoding::Gb18030, false, "f.f90", bytes);
        ASSERT_EQ(encoded.ok, c.converts) << c.utf8;
        if (c.converts) {
            EXPECT_EQ(bytes, c.gb) << c.utf8;
        }
        TextFile file;
        ASSERT_EQ(decodeText(c.gb, EncodingChoice::Gb18030, "f.f90", file).ok, c.converts) << c.utf8;
        if (c.converts) {
            EXPECT_EQ(file.text, c.utf8);
        }
    }
    // Bytes that are no GB18030: never guessed at or replaced.
    for (const std::string bad : {"\x80", "\xFF", "\x81\x30\x81", "\x81\x7F", "\x84\x31\xA5\x30", "\xA2"}) {
        TextFile file;
        EXPECT_FALSE(decodeText("x" + bad, EncodingChoice::Gb18030, "f.f90", file).ok) << bad;
    }
    std::string bytes;
    EXPECT_FALSE(encodeText("\xED\xA0\x80", TextEncoding::Gb18030, false, "f.f90", bytes).ok);  // a surrogate
}

}  // namespace
}  // namespace codekiln
