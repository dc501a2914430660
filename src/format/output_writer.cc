// For every stored line the classifier moves the running indentation; a line
// that opens a block is written at the indentation in force before it, every
// other line at the one after it (so an END line stands at the lowered
// level), else, elseif and case lines one step back when asked for, and a
// line that closes labelled DO loops at the level of their DO statement.
#include "format/output_writer.h"

#include <cstring>

#include "doloop/do_labels.h"
#include "format/banners.h"
#include "indent/tuihang.h"
#include "state/text.h"

namespace codekiln {
namespace {

/// Appends `blanks` blanks, `text` and the line end.
void appendLine(std::string& out, std::size_t blanks, std::string_view text, std::string_view eol) {
    const std::size_t at = out.size();
    out.resize(at + blanks + text.size() + eol.size());
    char* p = &out[at];
    std::memset(p, ' ', blanks);
    p += blanks;
    if (!text.empty()) std::memcpy(p, text.data(), text.size());
    p += text.size();
    std::memcpy(p, eol.data(), eol.size());
}

/// Whether `t` is a preprocessor line: its first non-blank character is "#".
bool isPreprocessorLine(std::string_view t) {
    const std::string_view trimmed = trimBlanks(t);
    return !trimmed.empty() && trimmed.front() == '#';
}

/// Whether " else ", " elseif " or " case " stands in `testLine` as the
/// classifier would leave it: framed for a line that is not a comment line
/// (then the words tell), as it is for a comment line.
bool movesBack(std::string_view testLine, const LineWords& words) {
    if (words.framed) return words.elseWord || words.elseifWord || words.caseWord;
    return contains(testLine, " else ") || contains(testLine, " elseif ") || contains(testLine, " case ");
}

}  // namespace

std::size_t effectiveIndent(std::int64_t columns, std::string_view text) {
    if (columns <= 0 || isPreprocessorLine(text)) return 0;
    const auto wanted = static_cast<std::size_t>(columns);
    if (wanted + text.size() <= kMaxLineChars) return wanted;  // characters never outnumber bytes
    const std::size_t length = countChars(text);
    if (wanted + length <= kMaxLineChars) return wanted;
    return length <= kMaxLineChars ? kMaxLineChars - length : 0;
}

void writeOutput(const StoredLines& stored, std::int64_t lineCount, SessionState& state,
                 const FormatOptions& options, std::string& out, std::string_view eol) {
    state.indentColumns = 0;
    state.unitEnded = false;
    for (const std::string& line : banner::headerLines(lineCount)) appendLine(out, 0, line, eol);

    banner::UnitHeading heading;
    std::string testLine;
    std::int64_t indentBefore = 0;
    const std::size_t count = stored.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view text = stored.text(i);
        const bool verbatim = stored.verbatim(i);

        assignLowerAscii(testLine, trimBlanks(text));
        LineWords words;
        const bool opener = classifyLine(testLine, state, words);

        std::size_t blanks = 0;
        if (!opener) {
            std::int64_t n = state.indentColumns;
            if (options.indentElse && movesBack(testLine, words)) n -= 4;
            blanks = effectiveIndent(n, text);
        } else {
            if (contains(testLine, "else") && contains(testLine, "then")) {
                state.indentColumns -= 4;
                indentBefore -= 4;
            }
            blanks = effectiveIndent(indentBefore, text);  // none when indentBefore is negative
        }

        // The labelled-DO operations see the line as it will be written; they
        // trim it, so the text alone stands for it.
        if (!words.framed || words.doWord) do77(text, state);  // a DO statement has the word do
        if (continucl(text, state)) blanks = effectiveIndent(state.indentColumns, text);

        appendLine(out, verbatim ? 0 : blanks, text, eol);

        if (options.showSeparators && state.unitEnded && i + 1 < count) {
            banner::lookAhead(stored, i, heading);
            state.doLabels.reset();
            for (const std::string& line : banner::separatorLines(heading)) appendLine(out, 0, line, eol);
        }
        indentBefore = state.indentColumns;
        state.unitEnded = false;
    }
}

}  // namespace codekiln
