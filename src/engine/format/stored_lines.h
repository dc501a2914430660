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

#include "engine/format/constants.h"
#include "engine/state/format_options.h"

namespace codekiln {

/// The pass's line store (`storedLines`, `storedCount`) for one file: every
/// kept line's text in one buffer, in file order.
class StoredLines {
public:
    std::size_t size() const { return lines_.size(); }  ///< `storedCount`
    bool empty() const { return lines_.empty(); }
    /// The text of line `i` (0-based).
    std::string_view text(std::size_t i) const {
        const Line& line = lines_[i];
        return line.external != nullptr ? std::string_view(line.external, line.length)
                                        : std::string_view(buffer_).substr(line.offset, line.length);
    }
    /// Whether line `i` continues a character constant from its very first
    /// character: it keeps its leading blanks and tabs and is written exactly
    /// as stored, without indentation.
    bool verbatim(std::size_t i) const { return lines_[i].verbatim; }

    /// Stores a copy of `text`.
    void add(std::string_view text, bool verbatim);
    /// Stores `text` without copying it: the caller keeps it alive as long
    /// as the store.
    void addView(std::string_view text);
    void reserve(std::size_t lines, std::size_t bytes);

private:
    struct Line {
        const char* external;  // the text outside the buffer, or null
        std::size_t offset;    // in the buffer, when not external
        std::size_t length;
        bool verbatim;
    };
    std::string buffer_;
    std::vector<Line> lines_;
};

/// The result of reading one file.
struct ReadResult {
    StoredLines stored;
    std::int64_t lineCount = 0;  ///< `lineCount`: non-empty lines not starting with "!", before anything is dropped
};

/// One raw line after cleaning.
struct CleanedLine {
    std::string_view text;
    bool verbatim = false;  ///< a line that continues a character constant from its first character
    bool copied = false;    ///< `text` lies in the cleaner's buffer (valid until its next line), else in the raw line
};

/// Cleans the raw lines of one file one at a time, in file order, carrying
/// what a line ending in "&" hands on to the next; the reading without a
/// store, for a writer that takes each line as it comes.
class LineCleaner {
public:
    explicit LineCleaner(const FormatOptions& options) : removeBlankLines_(options.removeBlankLines) {}
    /// Cleans `raw` (without its line end) into `out`; false when the line
    /// is dropped.
    bool clean(std::string_view raw, CleanedLine& out);

private:
    bool removeBlankLines_;
    ConstantState carried_;   // what goes on in the next code line, after a line ending in "&"
    bool continuing_ = false;
    std::string cleaned_;
};

/// Whether the raw line counts toward `lineCount`: not empty once trimmed,
/// and not starting with "!".
bool isCodeLine(std::string_view raw);

/// Reads and cleans the raw lines of one file (without their line ends).
/// The store may refer to the raw lines' text, which must outlive it.
ReadResult readStoredLines(const std::vector<std::string_view>& rawLines, const FormatOptions& options);

/// Whether `line` (after leading-tab removal and trimming) is exactly one of
/// the banner lines that the output writer produces.
bool isBannerLine(std::string_view line);

}  // namespace codekiln
