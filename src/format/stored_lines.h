// Reading and cleaning: turns the raw lines of one file into the pass's line
// store. Each line is trimmed, counted when it is code, freed of leading
// tabs, dropped when it is a blank line (on request) or a banner line of an
// earlier run, and its runs of four blanks are shortened outside character
// constants.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "state/session_state.h"

namespace codekiln {

/// The pass's line store (`storedLines`, `storedCount`) for one file: every
/// kept line's text in one buffer, in file order.
class StoredLines {
public:
    /// One kept line. A verbatim line continues a character constant from its
    /// very first character: it keeps its leading blanks and tabs and is
    /// written exactly as stored, without indentation.
    struct Line {
        std::size_t offset;
        std::size_t length;
        bool verbatim;
    };

    std::size_t size() const { return lines_.size(); }  ///< `storedCount`
    bool empty() const { return lines_.empty(); }
    /// The text of line `i` (0-based).
    std::string_view text(std::size_t i) const { return std::string_view(buffer_).substr(lines_[i].offset, lines_[i].length); }
    bool verbatim(std::size_t i) const { return lines_[i].verbatim; }

    void add(std::string_view text, bool verbatim);
    void reserve(std::size_t lines, std::size_t bytes);

private:
    std::string buffer_;
    std::vector<Line> lines_;
};

/// The result of reading one file.
struct ReadResult {
    StoredLines stored;
    std::int64_t lineCount = 0;  ///< `lineCount`: non-empty lines not starting with "!", before anything is dropped
};

/// Reads and cleans the raw lines of one file (without their line ends).
ReadResult readStoredLines(const std::vector<std::string_view>& rawLines, const FormatOptions& options);

/// Whether `line` (after leading-tab removal and trimming) is exactly one of
/// the banner lines that the output writer produces.
bool isBannerLine(std::string_view line);

}  // namespace codekiln
