// One file through the formatting pass: read and clean, then write.
#include "engine/format/format_file.h"

#include <cstring>

#include "engine/format/fixed_form.h"
#include "engine/format/output_writer.h"
#include "engine/format/stored_lines.h"

namespace codekiln {

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    lines.reserve(text.size() / 32 + 1);
    const char* p = text.data();
    const char* const end = p + text.size();
    // A file with LF line ends (CR LF or LF) splits at LF only: a CR that no
    // LF follows is a character of its line ("a<CR>b" in a constant). A file
    // without any LF (old Mac files) splits at CR.
    const bool crEnds = std::memchr(p, '\n', text.size()) == nullptr;
    const char stopChar = crEnds ? '\r' : '\n';
    while (p < end) {
        const auto* stop =
            static_cast<const char*>(std::memchr(p, stopChar, static_cast<std::size_t>(end - p)));
        const char* lineEnd = stop ? stop : end;
        // The CR of a CR LF belongs to the line end.
        const char* contentEnd =
            (!crEnds && stop && lineEnd > p && lineEnd[-1] == '\r') ? lineEnd - 1 : lineEnd;
        lines.emplace_back(p, static_cast<std::size_t>(contentEnd - p));
        p = stop ? stop + 1 : end;
    }
    return lines;
}

FormattedFile formatFile(const std::vector<std::string_view>& rawLines, const FormatOptions& options,
                         DoLabelRecord& doLabels, std::string_view eol) {
    FormattedFile file;
    std::size_t bytes = 0;
    for (std::string_view line : rawLines) bytes += line.size() + eol.size();
    file.text.reserve(bytes + bytes / 2 + 1024);  // room for the banners and indentation
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
                         std::string_view eol) {
    return formatFile(splitLines(text), options, doLabels, eol);
}

std::vector<std::string> formatLines(const std::vector<std::string>& rawLines, const FormatOptions& options,
                                     DoLabelRecord& doLabels) {
    const std::vector<std::string_view> views(rawLines.begin(), rawLines.end());
    const std::string out = formatFile(views, options, doLabels, "\n").text;
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i] != '\n') continue;
        lines.push_back(out.substr(start, i - start));
        start = i + 1;
    }
    return lines;
}

}  // namespace codekiln
