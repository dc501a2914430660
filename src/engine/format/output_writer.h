// The output phase of the formatting pass: the header banner, then every
// stored line at the indentation its block structure gives it, labelled DO
// loops closed at their label, and separator banners between program units.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/format/published_text.h"
#include "engine/format/stored_lines.h"
#include "engine/indent/tuihang.h"
#include "engine/state/do_label_record.h"
#include "engine/state/format_options.h"
#include "engine/state/text.h"

namespace codekiln {

/// The longest line free-form Fortran allows; indentation never pushes a
/// line past it.
inline constexpr std::size_t kMaxLineChars = 132;

/// The running indentation of one file, moved line by line (or statement by
/// statement) by the classifier, the else/case rule and the labelled-DO
/// operations. Starts at zero.
class RunningIndent {
public:
    RunningIndent(const FormatOptions& options, DoLabelRecord& doLabels) : options_(options), doLabels_(doLabels) {}

    /// Where one line goes.
    struct Placement {
        std::int64_t columns = 0;  ///< the indentation wanted (none when zero or below)
        bool endsUnit = false;     ///< the line closes a program unit (`unitEnded`)
    };

    /// What a line says before the running indentation is applied: read
    /// from the line alone, so it may be read ahead of the lines before it.
    struct Reading {
        LineClass line;            ///< the classifier's answer, `indentAfter` aside
        bool movesBack = false;    ///< a move-back token stands in the line
        bool elseAndThen = false;  ///< an opening line that holds both "else" and "then"
    };
    /// Reads `text` lower-cased, in `testLine`'s storage, as `next` reads it.
    static Reading read(std::string_view text, LowerCaseCopy& testLine);

    /// Classifies `text` (a trimmed line, or one whose leading blanks belong
    /// to a continued constant) and returns where it goes; the labelled-DO
    /// operations see `text` as the line to be written.
    Placement next(std::string_view text) { return next(text, read(text, testLine_)); }
    /// The same for a line `read` has read already.
    Placement next(std::string_view text, const Reading& reading);

private:
    const FormatOptions& options_;
    DoLabelRecord& doLabels_;
    int indentColumns_ = 0;         // `indentColumns`: the running indentation for the lines that follow
    std::int64_t indentBefore_ = 0; // `indentBefore`: the indentation in force before the current line
    LowerCaseCopy testLine_;  // the trimmed line, lower-cased, as the classifier reads it
};

/// Writes the formatted file into `out`, each line followed by `eol`: the
/// header banner for `lineCount` code lines, then the stored lines. The
/// running indentation starts at zero; the labelled-DO record `doLabels` is
/// the one carried from the files before and is left for the files after.
void writeOutput(const StoredLines& stored, std::int64_t lineCount, const FormatOptions& options,
                 DoLabelRecord& doLabels, std::string& out, std::string_view eol = "\r\n");

/// Reads, cleans and writes a free-form file's text in one pass over its
/// lines, as `readStoredLines` and `writeOutput` do over its split lines,
/// without a list of its lines or a store: each line is written as it is
/// cleaned. Appends to `out` and returns `lineCount`. With `published`, the
/// output is published as it is written, with how far the input is read.
std::int64_t writeFreeFormText(std::string_view text, const FormatOptions& options, DoLabelRecord& doLabels,
                               std::string& out, std::string_view eol = "\r\n", PublishedText* published = nullptr,
                               LineReading reading = LineReading::OnOneThread);

/// The number of blanks a line of text `text` gets when it is indented to
/// `columns`: a preprocessor line gets none, and a line that would run past
/// 132 characters is moved left so that it ends there (one longer than 132
/// characters on its own gets none).
std::size_t effectiveIndent(std::int64_t columns, std::string_view text);

}  // namespace codekiln
