// Encoding detection and conversion between a file's bytes and the UTF-8
// text of the engine. UTF-8 files skip the converters entirely: they are
// validated in place and moved on, so the common case costs one scan.
#include "platform/text_codec.h"

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>
#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/file_names.h"

#ifdef _WIN32
#include "platform/windows_codepage.h"
#endif

namespace codekiln {

namespace {

std::string encodingName(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8:
            return "UTF-8";
        case TextEncoding::Gb18030:
            return "GB18030";
        case TextEncoding::System:
            return "the system code page";
        case TextEncoding::Latin1:
            return "Latin-1";
    }
    return "?";
}

// The converters for GB18030 and the system code page. Each refuses what it
// cannot convert exactly, and its result must convert back to the very
// input: then every line the engine leaves alone is written back unchanged.
#ifdef _WIN32
// Windows' own: the same on every Qt, with or without ICU, and a system
// code page that reports what it cannot hold. Where code page 54936 is
// missing (Wine), GB18030 goes through code page 936, the two-byte part the
// two share: the four-byte forms, and the byte 0x80 that 936 alone reads
// as the euro sign, are refused rather than read another way.
constexpr unsigned kGbkCodePage = 936;

bool hasFullGb18030() { return hasCodePage(kGb18030CodePage); }

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
#else
constexpr QStringConverter::Flags kStateless = QStringConverter::Flag::Stateless;

QStringEncoder encoderFor(TextEncoding encoding) {
    return encoding == TextEncoding::Gb18030 ? QStringEncoder("GB18030", kStateless)
                                             : QStringEncoder(QStringConverter::System, kStateless);
}

QStringDecoder decoderFor(TextEncoding encoding) {
    return encoding == TextEncoding::Gb18030 ? QStringDecoder("GB18030", kStateless)
                                             : QStringDecoder(QStringConverter::System, kStateless);
}

// Qt has GB18030 only when it was built with ICU.
bool hasConverter(TextEncoding encoding) { return encoderFor(encoding).isValid(); }

bool hasFullGb18030() { return hasConverter(TextEncoding::Gb18030); }

QByteArrayView view(std::string_view bytes) {
    return QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

bool legacyToUtf8(TextEncoding encoding, std::string_view bytes, std::string& utf8) {
    // Stateless: a sequence cut off at the end of the file is an error
    // instead of waiting for more bytes. Some bad sequences just become
    // U+FFFD without an error; encoding back shows them.
    QStringDecoder decoder = decoderFor(encoding);
    const QString decoded = decoder.decode(view(bytes));
    if (decoder.hasError()) return false;
    QStringEncoder encoder = encoderFor(encoding);
    const QByteArray back = encoder.encode(decoded);
    if (encoder.hasError() || QByteArrayView(back) != view(bytes)) return false;
    utf8 = decoded.toStdString();
    return true;
}

bool utf8ToLegacy(TextEncoding encoding, std::string_view utf8, std::string& bytes) {
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    QStringEncoder encoder = encoderFor(encoding);
    const QByteArray encoded = encoder.encode(text);
    if (encoder.hasError()) return false;
    QStringDecoder decoder = decoderFor(encoding);
    if (QString(decoder.decode(encoded)) != text || decoder.hasError()) return false;
    bytes.assign(encoded.constData(), static_cast<std::size_t>(encoded.size()));
    return true;
}
#endif

// Latin-1 needs no converter: byte n is U+00nn, so every byte string
// decodes and comes back as the very same bytes.
std::string latin1ToUtf8(std::string_view bytes) {
    std::string utf8;
    utf8.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8.push_back(c);
        } else {
            utf8.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return utf8;
}

// False when `utf8` holds a character above U+00FF, or is not UTF-8.
bool utf8ToLatin1(std::string_view utf8, std::string& bytes) {
    bytes.clear();
    bytes.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            bytes.push_back(utf8[i]);
            continue;
        }
        // U+0080..U+00FF are the two-byte forms led by 0xC2 or 0xC3.
        if ((lead != 0xC2 && lead != 0xC3) || i + 1 == utf8.size()) return false;
        const auto trail = static_cast<unsigned char>(utf8[++i]);
        if ((trail & 0xC0) != 0x80) return false;
        bytes.push_back(static_cast<char>(((lead & 0x03) << 6) | (trail & 0x3F)));
    }
    return true;
}

}  // namespace

bool gb18030HasFourByteForms() { return hasFullGb18030(); }

bool isValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        // Skip ASCII eight bytes at a time.
        while (n - i >= 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes.data() + i, 8);
            if (word & 0x8080808080808080ULL) break;
            i += 8;
        }
        if (i >= n) break;
        const std::size_t length = utf8SequenceAt(bytes, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

Status decodeText(std::string bytes, EncodingChoice choice, const std::string& path, TextFile& file) {
    if (choice == EncodingChoice::Latin1) {
        // Every byte is a character, three bytes that look like a BOM too.
        file.text = latin1ToUtf8(bytes);
        file.encoding = TextEncoding::Latin1;
        file.bom = false;
        return Status::success();
    }
    const bool hasBom = bytes.compare(0, kUtf8Bom.size(), kUtf8Bom) == 0;
    if (choice == EncodingChoice::Auto || choice == EncodingChoice::Utf8) {
        const std::string_view body = std::string_view(bytes).substr(hasBom ? kUtf8Bom.size() : 0);
        if (isValidUtf8(body)) {
            if (hasBom) bytes.erase(0, kUtf8Bom.size());
            file.text = std::move(bytes);
            file.encoding = TextEncoding::Utf8;
            file.bom = hasBom;
            return Status::success();
        }
        if (choice == EncodingChoice::Utf8 || hasBom) {
            return Status::failure(Why::NotValidText, path, "UTF-8");
        }
    }
    TextEncoding encoding = choice == EncodingChoice::System ? TextEncoding::System : TextEncoding::Gb18030;
    if (!hasConverter(encoding)) {
        // Detection may settle for the system code page; a named encoding
        // is never swapped for another one.
        if (choice != EncodingChoice::Auto)
            return Status::failure(Why::NoConverter, path, encodingName(encoding));
        encoding = TextEncoding::System;
    }
    std::string text;
    if (!legacyToUtf8(encoding, bytes, text)) {
        // Detection tried both: name both, not only the one tried last.
        if (choice == EncodingChoice::Auto) {
            return Status::failure(Why::NeitherUtf8Nor, path,
                                   encoding == TextEncoding::Gb18030 ? "GB18030" : "system code page");
        }
        return Status::failure(Why::NotValidText, path, encodingName(encoding));
    }
    file.text = std::move(text);
    file.encoding = encoding;
    file.bom = false;
    return Status::success();
}

Status encodeText(const std::string& text, TextEncoding encoding, bool bom, const std::string& path,
                  std::string& bytes) {
    if (encoding == TextEncoding::Utf8) {
        bytes.clear();
        bytes.reserve(text.size() + (bom ? kUtf8Bom.size() : 0));
        if (bom) bytes.append(kUtf8Bom);
        bytes.append(text);
        return Status::success();
    }
    if (encoding == TextEncoding::Latin1) {
        if (!utf8ToLatin1(text, bytes)) return Status::failure(Why::CannotEncode, path, "Latin-1");
        return Status::success();
    }
    if (!hasConverter(encoding)) return Status::failure(Why::NoConverter, path, encodingName(encoding));
    // Malformed UTF-8 would reach the file as U+FFFD in GB18030: refused.
    if (!isValidUtf8(text) || !utf8ToLegacy(encoding, text, bytes)) {
        return Status::failure(Why::CannotEncode, path, encodingName(encoding));
    }
    return Status::success();
}

bool parseEncodingChoice(std::string_view text, EncodingChoice& choice) {
    const QString name = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toLower();
    if (name == QLatin1String("auto")) {
        choice = EncodingChoice::Auto;
    } else if (name == QLatin1String("utf-8") || name == QLatin1String("utf8")) {
        choice = EncodingChoice::Utf8;
    } else if (name == QLatin1String("gb18030")) {
        choice = EncodingChoice::Gb18030;
    } else if (name == QLatin1String("latin-1") || name == QLatin1String("latin1") ||
               name == QLatin1String("iso-8859-1")) {
        choice = EncodingChoice::Latin1;
    } else if (name == QLatin1String("system")) {
        choice = EncodingChoice::System;
    } else {
        return false;
    }
    return true;
}

}  // namespace codekiln
