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

#include "engine/format/banners.h"
#include "engine/format/line_writer.h"
#include "engine/format/output_writer.h"
#include "engine/format/stored_lines.h"
#include "engine/state/text.h"

namespace codekiln {
namespace {

/// One kept line of the file, read.
struct KeptLine {
    FixedLine fields;
    std::string_view raw;
    std::string cleaned;      // the statement text, trimmed, runs of four blanks outside constants shortened
    std::size_t offset = 0;   // the blanks the statement text had in front of it
    bool verbatim = false;    // written exactly as read
};

/// The number of blanks a statement text `text` gets for `columns`: none
/// below zero, and never so many that the text passes column 72.
std::size_t fixedIndent(std::int64_t columns, std::string_view text) {
    if (columns <= 0 || text.size() >= kFixedTextWidth) return 0;
    return std::min(static_cast<std::size_t>(columns), kFixedTextWidth - text.size());
}

void writeCode(LineWriter& writer, const KeptLine& line, std::size_t blanks) {
    if (line.verbatim) {
        writer.line(0, line.raw);
        return;
    }
    std::string out(line.fields.field);
    if (!line.cleaned.empty()) {
        out.append(blanks, ' ');
        out.append(line.cleaned);
    }
    if (line.fields.tail.empty()) {
        writer.line(0, trimTrailingBlanks(out));
        return;
    }
    // Columns 73 and beyond start where they started.
    const std::size_t tailAt = line.fields.field.size() + kFixedTextWidth;
    if (out.size() < tailAt) out.append(tailAt - out.size(), ' ');
    out.append(line.fields.tail);
    writer.line(0, out);
}

std::vector<KeptLine> readFixedLines(const std::vector<std::string_view>& rawLines, const FormatOptions& options,
                                     std::int64_t& lineCount) {
    std::vector<KeptLine> kept;
    kept.reserve(rawLines.size());
    ConstantState state;
    bool inStatement = false;
    for (std::string_view raw : rawLines) {
        KeptLine line;
        line.raw = raw;
        line.fields = cutFixedLine(raw);
        switch (line.fields.kind) {
            case FixedLine::Kind::Blank:
                if (!options.removeBlankLines) kept.push_back(std::move(line));
                continue;
            case FixedLine::Kind::Comment: {
                std::string_view content = trimBlanks(raw);
                while (!content.empty() && content.front() == '\t') content.remove_prefix(1);
                if (!isBannerLine(trimBlanks(content))) kept.push_back(std::move(line));
                continue;
            }
            case FixedLine::Kind::Initial:
                state = ConstantState{};
                state.inFormat = startsFormatStatement(line.fields.text);
                break;
            case FixedLine::Kind::Continuation:
                if (!inStatement) state = ConstantState{};
                break;
        }
        ++lineCount;
        inStatement = true;
        const bool resumes = state.open();
        std::string cleaned;
        scanFixedText(
            line.fields.text, state, [&](std::string_view t) { appendReplaced(cleaned, t, "    ", " "); },
            [&](std::string_view t) { cleaned.append(t); });
        line.verbatim = resumes || state.open();
        const std::string_view text = line.fields.text;
        while (line.offset < text.size() && text[line.offset] == ' ') ++line.offset;
        line.cleaned = line.verbatim ? std::string(trimBlanks(text)) : std::string(trimBlanks(cleaned));
        kept.push_back(std::move(line));
    }
    return kept;
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
    const std::size_t first = raw.find_first_not_of(" \t");
    if (first == std::string_view::npos) return line;  // blank
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
    const std::vector<KeptLine> kept = readFixedLines(rawLines, options, lineCount);
    const std::size_t count = kept.size();

    // What the separator banner's look-ahead reads: statement texts, and
    // comment lines as comments.
    StoredLines view;
    for (const KeptLine& line : kept) view.add(line.fields.code() ? std::string_view(line.cleaned) : "!", false);

    LineWriter writer(out, eol);
    for (const std::string& line : banner::headerLines(lineCount)) writer.line(0, line);
    RunningIndent indent(options, doLabels);
    banner::SeparatorWriter separators;
    std::string statement;
    for (std::size_t i = 0; i < count;) {
        const KeptLine& first = kept[i];
        if (!first.fields.code()) {
            writer.line(0, first.fields.kind == FixedLine::Kind::Comment ? first.raw : std::string_view());
            ++i;
            continue;
        }
        // The statement: this line and its continuation lines, with any
        // comment and blank lines between them.
        std::size_t last = i;
        for (std::size_t j = i + 1; j < count; ++j) {
            if (kept[j].fields.kind == FixedLine::Kind::Continuation) last = j;
            if (kept[j].fields.kind == FixedLine::Kind::Initial) break;
        }
        statement = first.fields.kind == FixedLine::Kind::Initial ? first.fields.label() : std::string();
        for (std::size_t j = i; j <= last; ++j) {
            if (!kept[j].fields.code() || kept[j].cleaned.empty()) continue;
            if (!statement.empty()) statement.push_back(' ');
            statement.append(kept[j].cleaned);
        }
        const RunningIndent::Placement place = indent.next(statement);

        const std::size_t base = first.verbatim ? first.offset : fixedIndent(place.columns, first.cleaned);
        for (std::size_t j = i; j <= last; ++j) {
            const KeptLine& line = kept[j];
            if (!line.fields.code()) {
                writer.line(0, line.fields.kind == FixedLine::Kind::Comment ? line.raw : std::string_view());
                continue;
            }
            const std::int64_t wanted = static_cast<std::int64_t>(base) + static_cast<std::int64_t>(line.offset) -
                                        static_cast<std::int64_t>(first.offset);
            writeCode(writer, line, j == i ? base : fixedIndent(wanted, line.cleaned));
        }

        if (options.showSeparators && place.endsUnit) separators.writeAfter(view, last, doLabels, writer);
        i = last + 1;
    }
    return lineCount;
}

}  // namespace codekiln
