// Fixed-form layout. The statement's lines are classified together, as one
// line with the label first, so the indentation moves as it does for the
// same statement written on one free-form line. Only the statement text
// moves: the label field and column 6 stay as written, text beyond column 72
// stays in its columns, and comment lines stay exactly as they were. The
// first line of a statement goes to the running indentation; its
// continuation lines keep their offset from it. A line on which a character
// or Hollerith constant is still open at column 72, or resumes at column 7,
// is written exactly as it was: moving it would change the constant.
#include "engine/format/fixed_form.h"

#include <algorithm>
#include <cstdint>

#include "engine/format/banners.h"
#include "engine/format/large_buffers.h"
#include "engine/format/line_splitter.h"
#include "engine/format/line_writer.h"
#include "engine/format/output_writer.h"
#include "engine/format/stored_lines.h"
#include "engine/state/text.h"

namespace codekiln {
namespace {

/// One kept line of the file, read. Its fields are cut again from the raw
/// line where they are needed, and its cleaned statement text lies in the
/// file's one buffer of cleaned texts: a line costs a few words, whatever
/// its length.
struct KeptLine {
    std::string_view raw;
    std::size_t cleanedAt = 0;      // the statement text, trimmed, runs of four blanks outside constants shortened,
    std::uint32_t cleanedSize = 0;  // (at most the 66 columns of statement text) in the raw line or the buffer
    std::uint32_t offset = 0;       // the blanks the statement text had in front of it
    FixedLine::Kind kind = FixedLine::Kind::Blank;
    bool verbatim = false;          // written exactly as read
    bool cleanedInRaw = false;      // `cleanedAt` counts from the start of the raw line

    bool code() const { return kind == FixedLine::Kind::Initial || kind == FixedLine::Kind::Continuation; }
};

/// The kept lines of one file and their cleaned statement texts.
class KeptLines {
public:
    std::size_t size() const { return lines_.size(); }
    const KeptLine& operator[](std::size_t i) const { return lines_[i]; }
    std::string_view cleaned(const KeptLine& line) const {
        return (line.cleanedInRaw ? line.raw : std::string_view(cleanedText_)).substr(line.cleanedAt, line.cleanedSize);
    }
    /// What the separator banner's look-ahead reads: statement texts, and
    /// comment lines as comments.
    std::string_view text(std::size_t i) const { return lines_[i].code() ? cleaned(lines_[i]) : "!"; }

    void reserve(std::size_t lines, std::size_t bytes) {
        reserveLarge(lines_, lines);
        reserveLarge(cleanedText_, bytes);
    }
    /// Keeps `line` with its cleaned text `cleaned`, which is not copied
    /// when it lies in the raw line (most lines clean to their own text).
    void add(KeptLine line, std::string_view cleaned) {
        line.cleanedSize = static_cast<std::uint32_t>(cleaned.size());
        const char* raw = line.raw.data();
        if (cleaned.empty() || (cleaned.data() >= raw && cleaned.data() + cleaned.size() <= raw + line.raw.size())) {
            line.cleanedInRaw = true;
            line.cleanedAt = cleaned.empty() ? 0 : static_cast<std::size_t>(cleaned.data() - raw);
        } else {
            line.cleanedAt = cleanedText_.size();
            cleanedText_.append(cleaned);
        }
        lines_.push_back(line);
    }

private:
    std::vector<KeptLine> lines_;
    std::string cleanedText_;
};

/// The number of blanks a statement text `text` gets for `columns`: none
/// below zero, and never so many that the text passes column 72.
std::size_t fixedIndent(std::int64_t columns, std::string_view text) {
    if (columns <= 0 || text.size() >= kFixedTextWidth) return 0;
    return std::min(static_cast<std::size_t>(columns), kFixedTextWidth - text.size());
}

void writeCode(LineWriter& writer, const KeptLine& line, std::string_view cleaned, std::size_t blanks,
               std::string& out) {
    if (line.verbatim) {
        writer.line(0, line.raw);
        return;
    }
    const FixedLine fields = cutFixedLine(line.raw);
    out.assign(fields.field);
    if (!cleaned.empty()) {
        out.append(blanks, ' ');
        out.append(cleaned);
    }
    if (fields.tail.empty()) {
        writer.line(0, trimTrailingBlanks(out));
        return;
    }
    // Columns 73 and beyond start where they started.
    const std::size_t tailAt = fields.field.size() + kFixedTextWidth;
    if (out.size() < tailAt) out.append(tailAt - out.size(), ' ');
    out.append(fields.tail);
    writer.line(0, out);
}

/// Reads the raw lines `next` hands out one at a time (`lines` of them,
/// `bytes` in all) into the kept lines.
template <typename NextLine>
KeptLines readFixedLines(NextLine&& next, std::size_t lines, std::size_t bytes, const FormatOptions& options,
                         std::int64_t& lineCount) {
    KeptLines kept;
    kept.reserve(lines, bytes);  // room for every line; only what is used is touched
    ConstantState state;
    bool inStatement = false;
    std::string cleaned;
    for (std::string_view raw; next(raw);) {
        KeptLine line;
        line.raw = raw;
        const FixedLine fields = cutFixedLine(raw);
        line.kind = fields.kind;
        switch (fields.kind) {
            case FixedLine::Kind::Blank:
                if (!options.removeBlankLines) kept.add(line, {});
                continue;
            case FixedLine::Kind::Comment: {
                std::string_view content = trimBlanks(raw);
                while (!content.empty() && content.front() == '\t') content.remove_prefix(1);
                if (!isBannerLine(trimBlanks(content))) kept.add(line, {});
                continue;
            }
            case FixedLine::Kind::Initial:
                state = ConstantState{};
                state.inFormat = startsFormatStatement(fields.text);
                break;
            case FixedLine::Kind::Continuation:
                if (!inStatement) state = ConstantState{};
                break;
        }
        ++lineCount;
        inStatement = true;
        const bool resumes = state.open();
        cleaned.clear();
        scanFixedText(
            fields.text, state, [&](std::string_view t) { appendReplaced(cleaned, t, "    ", " "); },
            [&](std::string_view t) { cleaned.append(t); });
        line.verbatim = resumes || state.open();
        const std::string_view text = fields.text;
        while (line.offset < text.size() && text[line.offset] == ' ') ++line.offset;
        const std::string_view trimmedText = trimBlanks(text);
        const std::string_view trimmedCleaned = trimBlanks(cleaned);
        kept.add(line, line.verbatim || trimmedCleaned == trimmedText ? trimmedText : trimmedCleaned);
    }
    return kept;
}

/// Writes the kept lines of one file (see `formatFixedForm`).
void writeFixedLines(const KeptLines& kept, std::int64_t lineCount, const FormatOptions& options,
                     DoLabelRecord& doLabels, std::string& out, std::string_view eol) {
    const std::size_t count = kept.size();
    // Room for the whole text, so that it is never copied to grow: a code
    // line comes out no longer than its raw line or its field, the 66
    // columns and what lies beyond column 72; banners get a margin.
    std::size_t bound = 4096;
    for (std::size_t i = 0; i < count; ++i) {
        const KeptLine& line = kept[i];
        const std::size_t raw = line.kind == FixedLine::Kind::Blank ? 0 : line.raw.size();
        bound += (line.code() ? std::max<std::size_t>(raw, 7 + kFixedTextWidth) : raw) + eol.size();
    }
    reserveLarge(out, out.size() + bound + bound / 16);
    LineWriter writer(out, eol);
    for (const std::string& line : banner::headerLines(lineCount)) writer.line(0, line);
    RunningIndent indent(options, doLabels);
    banner::SeparatorWriter separators;
    std::string statement;
    std::string written;
    for (std::size_t i = 0; i < count;) {
        const KeptLine& first = kept[i];
        if (!first.code()) {
            writer.line(0, first.kind == FixedLine::Kind::Comment ? first.raw : std::string_view());
            ++i;
            continue;
        }
        // The statement: this line and its continuation lines, with any
        // comment and blank lines between them.
        std::size_t last = i;
        for (std::size_t j = i + 1; j < count; ++j) {
            if (kept[j].kind == FixedLine::Kind::Continuation) last = j;
            if (kept[j].kind == FixedLine::Kind::Initial) break;
        }
        statement = first.kind == FixedLine::Kind::Initial ? cutFixedLine(first.raw).label() : std::string();
        for (std::size_t j = i; j <= last; ++j) {
            const std::string_view cleaned = kept.cleaned(kept[j]);
            if (!kept[j].code() || cleaned.empty()) continue;
            if (!statement.empty()) statement.push_back(' ');
            statement.append(cleaned);
        }
        const RunningIndent::Placement place = indent.next(statement);

        const std::size_t base = first.verbatim ? first.offset : fixedIndent(place.columns, kept.cleaned(first));
        for (std::size_t j = i; j <= last; ++j) {
            const KeptLine& line = kept[j];
            if (!line.code()) {
                writer.line(0, line.kind == FixedLine::Kind::Comment ? line.raw : std::string_view());
                continue;
            }
            const std::int64_t wanted = static_cast<std::int64_t>(base) + static_cast<std::int64_t>(line.offset) -
                                        static_cast<std::int64_t>(first.offset);
            const std::string_view cleaned = kept.cleaned(line);
            writeCode(writer, line, cleaned, j == i ? base : fixedIndent(wanted, cleaned), written);
        }

        if (options.showSeparators && place.endsUnit) separators.writeAfter(kept, last, doLabels, writer);
        i = last + 1;
    }
}

}  // namespace

std::string FixedLine::label() const {
    std::string label;
    for (std::size_t i = 0; i < field.size() && i < 5 && field[i] != '\t'; ++i)
        if (field[i] != ' ') label.push_back(field[i]);
    return label;
}

FixedLine cutFixedLine(std::string_view raw) {
    FixedLine line;
    std::size_t first = 0;  // a byte loop: the library's search looks up every byte in the set
    while (first < raw.size() && (raw[first] == ' ' || raw[first] == '\t')) ++first;
    if (first == raw.size()) return line;  // blank
    const char c0 = raw.front();
    if (c0 == 'C' || c0 == 'c' || c0 == '*' || c0 == '!' || c0 == '#') {
        line.kind = FixedLine::Kind::Comment;
        return line;
    }
    const std::size_t tab = raw.substr(0, 6).find('\t');
    const bool tabForm = tab != std::string_view::npos;
    const std::size_t firstColumn = tabForm && tab < first ? 7 + (first - tab - 1) : first + 1;
    if (raw[first] == '!' && firstColumn != 6) {
        line.kind = FixedLine::Kind::Comment;
        return line;
    }
    std::size_t start = 0;
    if (tabForm) {
        start = tab + 1;
        const bool mark = start < raw.size() && raw[start] >= '1' && raw[start] <= '9';
        line.kind = mark ? FixedLine::Kind::Continuation : FixedLine::Kind::Initial;
        if (mark) ++start;
    } else {
        start = std::min<std::size_t>(6, raw.size());
        const bool mark = raw.size() >= 6 && raw[5] != ' ' && raw[5] != '0';
        line.kind = mark ? FixedLine::Kind::Continuation : FixedLine::Kind::Initial;
    }
    line.field = raw.substr(0, start);
    line.text = raw.substr(start, kFixedTextWidth);
    line.tail = raw.substr(std::min(raw.size(), start + kFixedTextWidth));
    return line;
}

std::int64_t formatFixedForm(const std::vector<std::string_view>& rawLines, const FormatOptions& options,
                             DoLabelRecord& doLabels, std::string& out, std::string_view eol) {
    std::int64_t lineCount = 0;
    std::size_t bytes = 0;
    for (std::string_view raw : rawLines) bytes += raw.size();
    std::size_t at = 0;
    const KeptLines kept = readFixedLines(
        [&](std::string_view& raw) {
            if (at == rawLines.size()) return false;
            raw = rawLines[at++];
            return true;
        },
        rawLines.size(), bytes, options, lineCount);
    writeFixedLines(kept, lineCount, options, doLabels, out, eol);
    return lineCount;
}

std::int64_t formatFixedText(std::string_view text, const FormatOptions& options, DoLabelRecord& doLabels,
                             std::string& out, std::string_view eol) {
    std::int64_t lineCount = 0;
    std::size_t lines = 0;
    LineSplitter counter(text);
    for (std::string_view raw; counter.next(raw);) ++lines;
    LineSplitter splitter(text);
    const KeptLines kept = readFixedLines([&](std::string_view& raw) { return splitter.next(raw); }, lines,
                                          text.size(), options, lineCount);
    writeFixedLines(kept, lineCount, options, doLabels, out, eol);
    return lineCount;
}

}  // namespace codekiln
