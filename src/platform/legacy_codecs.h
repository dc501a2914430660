// The converters for GB18030 and the system code page, one set for each
// system (legacy_codecs_posix.cc on Qt's converters, legacy_codecs_windows.cc
// on Windows' own), the build taking one. Each refuses what it cannot
// convert exactly, and its result must convert back to the very input:
// then every line the engine leaves alone is written back unchanged.
// Internal to the codec (text_codec.cc).
#pragma once

#include <string>
#include <string_view>

#include "platform/text_codec.h"

namespace codekiln {

/// Whether `encoding` (GB18030 or System) has a converter here.
bool hasConverter(TextEncoding encoding);

/// Whether GB18030's four-byte forms convert here.
bool hasFullGb18030();

/// `bytes` in `encoding` as UTF-8; false when they do not convert exactly.
bool legacyToUtf8(TextEncoding encoding, std::string_view bytes, std::string& utf8);

/// UTF-8 `utf8` in `encoding`; false when a character has no exact form there.
bool utf8ToLegacy(TextEncoding encoding, std::string_view utf8, std::string& bytes);

}  // namespace codekiln
