// The banner lines the output writer puts into a file: the six-line header
// banner with the file's code-line count, and the separator banner that
// names the next program unit and lists its arguments.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/line_writer.h"
#include "engine/format/stored_lines.h"
#include "engine/state/do_label_record.h"
#include "engine/state/format_options.h"

namespace codekiln::banner {

/// "!", one blank, 97 asterisks, "!": header lines 1, 2, 5 and 6.
extern const std::string kHeaderRule;
/// Header line 3, naming the count below it.
extern const std::string kHeaderTitle;
/// Header line 4 up to the count.
extern const std::string kHeaderCountPrefix;
/// Header line 4 after the count.
extern const std::string kHeaderCountSuffix;
/// "!", one blank, 90 asterisks, one blank, "!": a separator banner's rule line.
extern const std::string kSeparatorRule;
/// The start of a separator banner's title line.
extern const std::string kTitlePrefix;
/// The start of a separator banner's argument line.
extern const std::string kArgumentPrefix;
/// The end of every title and argument line.
extern const std::string kLineEnd;

/// The code-line count as the header shows it: zero-padded to six digits at
/// least, never cut.
std::string headerCount(std::int64_t lineCount);

/// The six header lines for a file with `lineCount` code lines.
std::vector<std::string> headerLines(std::int64_t lineCount);

/// A title or argument line: the text, then blanks up to 73 characters (at
/// least one), then the line end.
std::string bannerLine(std::string_view text);

/// The title and arguments a separator banner shows. They live for the pass
/// over one file, so that a banner that finds no new unit header repeats the
/// previous one.
struct UnitHeading {
    std::string unitTitle;                                  ///< `unitTitle`
    std::optional<std::vector<std::string>> unitArguments;  ///< `unitArguments`

    /// Where the look-ahead last found its unit header (npos: nowhere yet),
    /// and the first line it has not examined. Lines before that which are
    /// not the header found do not qualify, so no line is examined twice and
    /// a file with many units is looked through once in all.
    std::size_t headerLine = static_cast<std::size_t>(-1);
    std::size_t scannedTo = 0;
};

/// Whether `text`, a stored line after the unit that ended, is the next
/// unit's header: not a comment, with a "(" in it. Sets the title (unless
/// nothing stands before the "(") and the arguments when it is.
bool readUnitHeader(std::string_view text, UnitHeading& heading);

/// Looks ahead from line `i` (0-based) of `lines` (anything with `size()`
/// and `text(j)`, as StoredLines has) for the next unit header and updates
/// `heading`. The last line is never examined.
template <typename Lines>
void lookAheadIn(const Lines& lines, std::size_t i, UnitHeading& heading) {
    // A header found earlier that still lies ahead is the first qualifying
    // line again: the heading stays as it is.
    if (heading.headerLine != static_cast<std::size_t>(-1) && heading.headerLine > i) return;
    // Lines i + 1 up to the one before the last; the last is never examined.
    for (std::size_t j = std::max(i + 1, heading.scannedTo); j + 1 < lines.size(); ++j) {
        heading.scannedTo = j + 1;
        if (readUnitHeader(lines.text(j), heading)) {
            heading.headerLine = j;
            return;
        }
    }
}

/// The same over the stored lines.
void lookAhead(const StoredLines& stored, std::size_t i, UnitHeading& heading);

/// The lines of the separator banner for `heading`.
std::vector<std::string> separatorLines(const UnitHeading& heading);

/// The separator banners of one file, for the free-form and the fixed-form
/// writer alike.
class SeparatorWriter {
public:
    /// After stored line `i`, which closed a program unit: writes the banner
    /// naming the next unit and clears the labelled-DO record. Nothing
    /// follows the file's last line.
    template <typename Lines>
    void writeAfter(const Lines& lines, std::size_t i, DoLabelRecord& doLabels, LineWriter& writer) {
        if (i + 1 >= lines.size()) return;
        const std::size_t headerBefore = heading_.headerLine;
        lookAheadIn(lines, i, heading_);
        write(headerBefore, doLabels, writer);
    }
    /// The same for a writer that looks ahead itself: `heading()` has been
    /// moved on from where its header line was `headerBefore`.
    void write(std::size_t headerBefore, DoLabelRecord& doLabels, LineWriter& writer);
    UnitHeading& heading() { return heading_; }

private:
    UnitHeading heading_;
    std::vector<std::string> lines_;  ///< the banner, rendered again when the heading changes
};

}  // namespace codekiln::banner
