// The changes formatting makes to a text, as line hunks, and the text with
// only the hunks that fall on a range of lines applied: --range formats the
// whole file, so that indentation has its context, and keeps every line
// outside the range as it was.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace codekiln {

/// The text's lines, each with its line end (LF, CR LF or a lone CR); a last
/// line without an end is a line too.
std::vector<std::string> linesWithEnds(const std::string& text);

/// Lines `first` (0-based, in the original) up to `first + count` replaced by
/// `lines`; a count of 0 inserts before line `first`.
struct LineHunk {
    std::size_t first = 0;
    std::size_t count = 0;
    std::vector<std::string> lines;
};

/// The smallest hunks that turn `before` into `after`. A run of as many
/// changed lines as it has replacements (a re-indented block) gives one hunk
/// per line, so that a range can take part of it.
std::vector<LineHunk> lineHunks(const std::string& before, const std::string& after);

/// `before` with those hunks of `lineHunks(before, after)` applied that lie
/// wholly on lines `firstLine`..`lastLine` (1-based, inclusive); lines are
/// only inserted between two lines of the range. Every line outside the
/// range comes back byte for byte.
std::string applyInRange(const std::string& before, const std::string& after, std::size_t firstLine,
                         std::size_t lastLine);

/// Lines `first`..`last` (1-based, inclusive).
struct LineRange {
    std::size_t first = 0;
    std::size_t last = 0;
};

/// applyInRange over several ranges: the hunks that lie wholly in one of
/// them. No range: `before` as it is.
std::string applyInRanges(const std::string& before, const std::string& after,
                          const std::vector<LineRange>& ranges);

}  // namespace codekiln
