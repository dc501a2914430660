// Windows' own converters between its code pages and UTF-8, used where Qt
// brings none of its own (a Qt without ICU has no GB18030) and for the ANSI
// code page, whose Qt converter replaces what it cannot hold without saying.
// Windows only.
#pragma once

#include <string>
#include <string_view>

namespace codekiln {

/// GB18030, the Chinese national encoding.
inline constexpr unsigned kGb18030CodePage = 54936;

/// The system's ANSI code page (936 on a Chinese Windows).
unsigned ansiCodePage();

/// Whether Windows can convert `codePage` here.
bool hasCodePage(unsigned codePage);

/// Decodes `bytes` in `codePage` into UTF-8; false when a byte sequence is
/// invalid there, so that nothing is guessed or replaced.
bool codePageToUtf8(unsigned codePage, std::string_view bytes, std::string& utf8);

/// Encodes UTF-8 `utf8` in `codePage`; false when a character has no exact
/// form there (no "?" and no look-alike stands in for it).
bool utf8ToCodePage(unsigned codePage, std::string_view utf8, std::string& bytes);

}  // namespace codekiln
