// The formatting engine's entry point: one file's lines in, the formatted
// text and the file's code-line count out. No files, no encodings: callers
// hand in UTF-8 lines and decide what to do with the result. The only state
// carried from one file to the next is the labelled-DO record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/published_text.h"
#include "engine/state/do_label_record.h"
#include "engine/state/format_options.h"

namespace codekiln {

/// One file after formatting.
struct FormattedFile {
    std::string text;            ///< the formatted text, each line followed by the line end asked for
    std::int64_t lineCount = 0;  ///< `lineCount`: the file's code lines, as the header banner states
};

/// Splits a text into lines, without their line ends, where LineSplitter
/// (line_splitter.h) splits it.
std::vector<std::string_view> splitLines(std::string_view text);

/// Formats the raw lines (without their line ends) of one file: reading and
/// cleaning, the header banner, indentation, labelled DO loops and separator
/// banners. `doLabels` is the record carried from the files formatted before
/// in the same session; it is left as the next file should find it.
FormattedFile formatFile(const std::vector<std::string_view>& rawLines, const FormatOptions& options,
                         DoLabelRecord& doLabels, std::string_view eol = "\r\n");

/// The same on a whole text, split as `splitLines` splits it; a free-form
/// text is read and written in one pass, without a list of its lines.
/// With `published`, a free-form text's output is published as it is
/// written (see PublishedText); the caller finishes it. `reading` says
/// whether a free-form text's lines are prepared on a second thread.
FormattedFile formatText(std::string_view text, const FormatOptions& options, DoLabelRecord& doLabels,
                         std::string_view eol = "\r\n", PublishedText* published = nullptr,
                         LineReading reading = LineReading::OnOneThread);

}  // namespace codekiln
