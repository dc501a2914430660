// Qt's converters, which have GB18030 only when Qt was built with ICU.
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

#include "platform/legacy_codecs.h"

namespace codekiln {

namespace {

constexpr QStringConverter::Flags kStateless = QStringConverter::Flag::Stateless;

QStringEncoder encoderFor(TextEncoding encoding) {
    return encoding == TextEncoding::Gb18030 ? QStringEncoder("GB18030", kStateless)
                                             : QStringEncoder(QStringConverter::System, kStateless);
}

QStringDecoder decoderFor(TextEncoding encoding) {
    return encoding == TextEncoding::Gb18030 ? QStringDecoder("GB18030", kStateless)
                                             : QStringDecoder(QStringConverter::System, kStateless);
}

QByteArrayView view(std::string_view bytes) {
    return QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

bool hasConverter(TextEncoding encoding) { return encoderFor(encoding).isValid(); }

bool hasFullGb18030() { return hasConverter(TextEncoding::Gb18030); }

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

}  // namespace codekiln
