// For every stored line the classifier moves the running indentation; a line
// that opens a block is written at the indentation in force before it, every
// other line at the one after it (so an END line stands at the lowered
// level), else, elseif and case lines one step back when asked for, and a
// line that closes labelled DO loops at the level of their DO statement.
#include "format/output_writer.h"

#include <algorithm>
#include <cstring>

#include "doloop/do_labels.h"
#include "format/banners.h"
#include "indent/tuihang.h"
#include "state/text.h"

namespace codekiln {
namespace {

/// Appends lines to the output text. The text grows geometrically (the
/// growth fills the new room once) and is cut to what was written at the
/// end, so each line is copied into place exactly once.
class LineWriter {
public:
    LineWriter(std::string& out, std::string_view eol) : out_(out), eol_(eol), used_(out.size()) {}
    ~LineWriter() { out_.resize(used_); }

    /// Writes `blanks` blanks, `text` and the line end.
    void line(std::size_t blanks, std::string_view text) {
        const std::size_t need = used_ + blanks + text.size() + eol_.size();
        if (need > out_.size()) out_.resize(std::max(need, out_.size() * 2 + 4096));
        char* p = &out_[used_];
        std::memset(p, ' ', blanks);
        p += blanks;
        if (!text.empty()) std::memcpy(p, text.data(), text.size());
        p += text.size();
        std::memcpy(p, eol_.data(), eol_.size());
        used_ = need;
    }

private:
    std::string& out_;
    std::string_view eol_;
    std::size_t used_;
};

/// Whether `t` is a preprocessor line: its first non-blank character is "#".
bool isPreprocessorLine(std::string_view t) {
    const std::string_view trimmed = trimBlanks(t);
    return !trimmed.empty() && trimmed.front() == '#';
}

/// Whether one of the move-back tokens (" else ", " elseif ", " case ")
/// stands in `testLine` as the classifier leaves it: framed for a line that
/// is not a comment line (the classifier's word walk tells), as it is for a
/// comment line.
bool movesBack(std::string_view testLine, const LineClass& line) {
    if (line.kind != LineKind::Comment) return line.movesBack;
    for (std::string_view token : moveBackTokens)
        if (contains(testLine, token)) return true;
    return false;
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

void writeOutput(const StoredLines& stored, std::int64_t lineCount, const FormatOptions& options,
                 DoLabelRecord& doLabels, std::string& out, std::string_view eol) {
    int indentColumns = 0;  // `indentColumns`: the running indentation for the lines that follow
    LineWriter writer(out, eol);
    for (const std::string& line : banner::headerLines(lineCount)) writer.line(0, line);

    banner::UnitHeading heading;
    std::vector<std::string> separator;  // the banner's lines, rendered again when the heading changes
    std::string testLine;
    std::int64_t indentBefore = 0;
    const std::size_t count = stored.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view text = stored.text(i);
        const bool verbatim = stored.verbatim(i);

        assignLowerAscii(testLine, verbatim ? trimBlanks(text) : text);  // stored lines are trimmed
        const LineClass line = tuihang(testLine, indentColumns);
        indentColumns = line.indentAfter;

        std::size_t blanks = 0;
        if (!line.opens()) {
            std::int64_t n = indentColumns;
            if (options.indentElse && movesBack(testLine, line)) n -= 4;
            blanks = effectiveIndent(n, text);
        } else {
            if (contains(testLine, "else") && contains(testLine, "then")) {
                indentColumns -= 4;
                indentBefore -= 4;
            }
            blanks = effectiveIndent(indentBefore, text);  // none when indentBefore is negative
        }

        // The labelled-DO operations see the line as it will be written; they
        // trim it, so the text alone stands for it.
        if (line.kind == LineKind::Comment || line.doWord) do77(text, doLabels);  // a DO statement has the word do
        if (continucl(text, doLabels, indentColumns)) blanks = effectiveIndent(indentColumns, text);

        writer.line(verbatim ? 0 : blanks, text);

        // `unitEnded`: the line just written closed a program unit.
        if (options.showSeparators && line.endsUnit() && i + 1 < count) {
            const std::size_t headerBefore = heading.headerLine;
            banner::lookAhead(stored, i, heading);
            if (heading.headerLine != headerBefore || separator.empty()) separator = banner::separatorLines(heading);
            doLabels.reset();
            for (const std::string& banner : separator) writer.line(0, banner);
        }
        indentBefore = indentColumns;
    }
}

}  // namespace codekiln
