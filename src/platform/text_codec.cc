// Encoding detection and conversion between a file's bytes and the UTF-8
// text of the engine. UTF-8 files skip the converters entirely: they are
// validated in place and moved on, so the common case costs one scan.
#include "platform/text_codec.h"

#include <QString>
#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/file_names.h"
#include "platform/legacy_codecs.h"

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
