// One file through the formatting pass: read and clean, then write.
#include "engine/format/format_file.h"

#include "engine/format/fixed_form.h"
#include "engine/format/large_buffers.h"
#include "engine/format/line_splitter.h"
#include "engine/format/output_writer.h"
#include "engine/format/stored_lines.h"

namespace codekiln {

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    lines.reserve(text.size() / 32 + 1);
    LineSplitter splitter(text);
    for (std::string_view line; splitter.next(line);) lines.push_back(line);
    return lines;
}

FormattedFile formatFile(const std::vector<std::string_view>& rawLines, const FormatOptions& options,
                         DoLabelRecord& doLabels, std::string_view eol) {
    FormattedFile file;
    std::size_t bytes = 0;
    for (std::string_view line : rawLines) bytes += line.size() + eol.size();
    reserveLarge(file.text, bytes + bytes / 2 + 1024);  // room for the banners and indentation
    if (options.form == SourceForm::Fixed) {
        file.lineCount = formatFixedForm(rawLines, options, doLabels, file.text, eol);
        return file;
    }
    const ReadResult read = readStoredLines(rawLines, options);
    file.lineCount = read.lineCount;
    writeOutput(read.stored, read.lineCount, options, doLabels, file.text, eol);
    return file;
}

FormattedFile formatText(std::string_view text, const FormatOptions& options, DoLabelRecord& doLabels,
                         std::string_view eol, PublishedText* published, LineReading reading) {
    FormattedFile file;
    if (options.form == SourceForm::Fixed) {
        file.lineCount = formatFixedText(text, options, doLabels, file.text, eol);
        return file;
    }
    file.lineCount = writeFreeFormText(text, options, doLabels, file.text, eol, published, reading);
    return file;
}

}  // namespace codekiln
