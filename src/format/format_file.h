// The formatting engine's entry point: one file's text in, the formatted
// text out, with the session state carried from file to file. No files, no
// encodings: callers hand in UTF-8 lines and decide what to do with the result.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "state/session_state.h"

namespace codekiln {

/// Splits a text into lines at CR LF, LF or a lone CR. A line end at the very
/// end of the text does not start another line.
std::vector<std::string_view> splitLines(std::string_view text);

/// Formats the raw lines of one file (reading, cleaning and output phase of
/// the formatting pass): sets `state.lineCount`, moves the indentation and
/// labelled-DO state, and appends the formatted lines to `out`, each followed
/// by `eol`.
void formatFile(const std::vector<std::string_view>& rawLines, SessionState& state, const FormatOptions& options,
                std::string& out, std::string_view eol = "\r\n");

/// The same on a whole text; returns the formatted text.
std::string formatText(std::string_view text, SessionState& state, const FormatOptions& options,
                       std::string_view eol = "\r\n");

/// The same on a list of lines; returns the formatted lines.
std::vector<std::string> formatLines(const std::vector<std::string>& rawLines, SessionState& state,
                                     const FormatOptions& options);

}  // namespace codekiln
