// Encoding detection and conversion between a file's bytes and the UTF-8
// text of the engine. UTF-8 files skip Qt entirely: they are validated in
// place and moved on, so the common case costs one scan.
#include "platform/text_codec.h"

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>
#include <cstdint>
#include <cstring>
#include <utility>

namespace codekiln {

namespace {

const char* const kGb18030Name = "GB18030";
constexpr QStringConverter::Flags kStateless = QStringConverter::Flag::Stateless;

std::string encodingName(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8:
            return "UTF-8";
        case TextEncoding::Gb18030:
            return "GB18030";
        case TextEncoding::System:
            return "the system code page";
    }
    return "?";
}

QStringEncoder encoderFor(TextEncoding encoding) {
    return encoding == TextEncoding::Gb18030 ? QStringEncoder(kGb18030Name, kStateless)
                                             : QStringEncoder(QStringConverter::System, kStateless);
}

// A decoder for GB18030, or for the system code page where Qt offers no
// GB18030 (a Qt built without ICU).
QStringDecoder legacyDecoder(TextEncoding& used) {
    QStringDecoder decoder(kGb18030Name, kStateless);
    if (decoder.isValid()) {
        used = TextEncoding::Gb18030;
        return decoder;
    }
    used = TextEncoding::System;
    return QStringDecoder(QStringConverter::System, kStateless);
}

Status decodeWith(QStringDecoder& decoder, std::string_view bytes, TextEncoding encoding,
                  const std::string& path, std::string& text) {
    if (!decoder.isValid()) return Status::failure(path + ": no decoder for " + encodingName(encoding));
    // The decoder is stateless, so a sequence cut off at the end of the file
    // counts as an error instead of waiting for more bytes.
    const QString decoded =
        decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    // The converter does not flag every bad sequence (some just become
    // U+FFFD), so the text must also encode back to exactly the same bytes:
    // then every line the engine leaves alone is written back unchanged.
    bool clean = !decoder.hasError();
    if (clean) {
        QStringEncoder encoder = encoderFor(encoding);
        const QByteArray back = encoder.encode(decoded);
        clean = !encoder.hasError() &&
                QByteArrayView(back) == QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    if (!clean) return Status::failure(path + ": not valid " + encodingName(encoding) + " text");
    text = decoded.toStdString();
    return Status::success();
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = p + bytes.size();
    while (p < end) {
        // Skip ASCII eight bytes at a time.
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ULL) break;
            p += 8;
        }
        if (p >= end) break;
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra;
        unsigned char lo = 0x80;  // allowed range of the second byte
        unsigned char hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            if (c == 0xE0) lo = 0xA0;  // no overlong forms
            if (c == 0xED) hi = 0x9F;  // no surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            if (c == 0xF0) lo = 0x90;  // no overlong forms
            if (c == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
        } else {
            return false;
        }
        if (end - p <= extra) return false;
        if (p[1] < lo || p[1] > hi) return false;
        for (int i = 2; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
        }
        p += extra + 1;
    }
    return true;
}

Status decodeText(std::string bytes, EncodingChoice choice, const std::string& path, TextFile& file) {
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
            return Status::failure(path + ": not valid UTF-8 text");
        }
    }
    TextEncoding encoding = TextEncoding::Gb18030;
    QStringDecoder decoder;
    if (choice == EncodingChoice::System) {
        encoding = TextEncoding::System;
        decoder = QStringDecoder(QStringConverter::System, kStateless);
    } else {
        decoder = legacyDecoder(encoding);
    }
    std::string text;
    Status status = decodeWith(decoder, bytes, encoding, path, text);
    if (!status) return status;
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
    QStringEncoder encoder = encoderFor(encoding);
    if (!encoder.isValid()) return Status::failure(path + ": no encoder for " + encodingName(encoding));
    const QByteArray encoded = encoder.encode(QString::fromStdString(text));
    if (encoder.hasError()) {
        return Status::failure(path + ": the text cannot be written in " + encodingName(encoding));
    }
    bytes.assign(encoded.constData(), static_cast<std::size_t>(encoded.size()));
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
    } else if (name == QLatin1String("system")) {
        choice = EncodingChoice::System;
    } else {
        return false;
    }
    return true;
}

}  // namespace codekiln
