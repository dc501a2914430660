// Decoding files into the UTF-8 text the formatting engine works on, and
// encoding its output back into the file's own encoding. UTF-8 input is
// validated and handed on without conversion; Latin-1 is converted here,
// byte for byte; the rest goes through Windows' own converters on Windows
// and Qt's elsewhere.
#pragma once

#include <string>
#include <string_view>

#include "platform/status.h"

namespace codekiln {

/// How a text file's bytes stand for characters.
enum class TextEncoding {
    Utf8,     ///< UTF-8, with or without a byte order mark
    Gb18030,  ///< the Chinese national encoding (a superset of GBK)
    System,   ///< the system's locale code page
    Latin1,   ///< ISO 8859-1: each byte is the character of that number
};

/// How to decode files: by detection, or always as one encoding.
enum class EncodingChoice {
    Auto,  ///< UTF-8 when it has a BOM or is valid UTF-8, else GB18030 (else the system code page)
    Utf8,
    Gb18030,
    System,
    Latin1,
};

/// A text file decoded to UTF-8, with what is needed to write it back in the
/// same encoding.
struct TextFile {
    std::string text;  ///< the whole content as UTF-8, without the BOM; line ends as in the file
    TextEncoding encoding = TextEncoding::Utf8;
    bool bom = false;  ///< the file started with a UTF-8 byte order mark
};

/// The UTF-8 byte order mark.
inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

/// Whether `bytes` is well-formed UTF-8 (no overlong forms, no surrogates,
/// nothing above U+10FFFF). Pure ASCII is.
bool isValidUtf8(std::string_view bytes);

/// Decodes a file's bytes (taken over, to avoid a copy) as `choice` says.
/// Fails, naming `path`, when the bytes do not decode cleanly, or when the
/// chosen encoding has no converter on this system (only "auto" then falls
/// back to the system code page).
Status decodeText(std::string bytes, EncodingChoice choice, const std::string& path, TextFile& file);

/// Encodes UTF-8 `text` into `encoding`, with a BOM in front when `bom` is
/// set (UTF-8 only). Fails, naming `path`, when a character cannot be held.
Status encodeText(const std::string& text, TextEncoding encoding, bool bom, const std::string& path,
                  std::string& bytes);

/// Whether GB18030's four-byte forms convert here. Windows without code
/// page 54936 (Wine) converts only the two-byte part and refuses the rest.
bool gb18030HasFourByteForms();

/// Parses "auto", "utf-8", "gb18030", "latin-1" or "system" (any letter
/// case; also "utf8", "latin1", "iso-8859-1"); false for anything else.
bool parseEncodingChoice(std::string_view text, EncodingChoice& choice);

}  // namespace codekiln
