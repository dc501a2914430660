// Fixed-form sources: each line cut into its fields (label field and
// continuation column, statement text in columns 7-72, anything beyond,
// which compilers ignore), and the whole file written anew with the
// statement text indented while every field a compiler reads by its column
// stays where it was.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/constants.h"
#include "engine/state/do_label_record.h"
#include "engine/state/format_options.h"

namespace codekiln {

/// The width of a fixed-form statement's text (columns 7 to 72).
inline constexpr std::size_t kFixedTextWidth = 66;

/// One line of a fixed-form source, cut into its fields. Columns are
/// counted in bytes.
struct FixedLine {
    enum class Kind {
        Blank,         ///< nothing but blanks and tabs
        Comment,       ///< C, c, *, ! or # in column 1, or "!" first outside column 6
        Initial,       ///< the first line of a statement
        Continuation,  ///< column 6 neither blank nor "0", or a TAB followed by 1-9
    };
    Kind kind = Kind::Blank;
    std::string_view field;  ///< columns 1-6 as written, or up to the TAB (and its digit)
    std::string_view text;   ///< the statement text, columns 7-72
    std::string_view tail;   ///< columns 73 and beyond, exactly
    bool code() const { return kind == Kind::Initial || kind == Kind::Continuation; }
    /// The label written in the label field, without its blanks.
    std::string label() const;
};

/// Cuts one raw line (without its line end).
FixedLine cutFixedLine(std::string_view raw);

/// Scans the statement text of one line for constants as `scanConstants`
/// does. A constant still open at the end of `text` also takes the blanks a
/// compiler adds up to column 72, which `constant` receives as one more
/// stretch (so a line that moves shows as a changed constant).
template <typename Outside, typename Constant>
void scanFixedText(std::string_view text, ConstantState& state, Outside&& outside, Constant&& constant) {
    scanConstants(text, state, outside, constant);
    if (!state.open() || text.size() >= kFixedTextWidth) return;
    static const std::string kPadding(kFixedTextWidth, ' ');
    std::size_t pad = kFixedTextWidth - text.size();
    if (state.hollerithLeft != 0) {
        pad = std::min(pad, state.hollerithLeft);
        state.hollerithLeft -= pad;
    }
    constant(std::string_view(kPadding).substr(0, pad));
}

/// Formats the raw lines of one fixed-form file (see `formatFile`). Returns
/// the file's code-line count (lines that are neither blank nor comment
/// lines) and appends the text to `out`.
std::int64_t formatFixedForm(const std::vector<std::string_view>& rawLines, const FormatOptions& options,
                             DoLabelRecord& doLabels, std::string& out, std::string_view eol);

/// The same on a whole text, split as `splitLines` splits it, without a
/// list of its lines.
std::int64_t formatFixedText(std::string_view text, const FormatOptions& options, DoLabelRecord& doLabels,
                             std::string& out, std::string_view eol);

}  // namespace codekiln
