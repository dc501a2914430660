// One file through the formatting pass: read and clean, then write.
#include "format/format_file.h"

#include "format/output_writer.h"
#include "format/stored_lines.h"

namespace codekiln {

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char c = text[i];
        if (c != '\n' && c != '\r') continue;
        lines.push_back(text.substr(start, i - start));
        if (c == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < n) lines.push_back(text.substr(start));
    return lines;
}

void formatFile(const std::vector<std::string_view>& rawLines, SessionState& state, const FormatOptions& options,
                std::string& out, std::string_view eol) {
    ReadResult read = readStoredLines(rawLines, options);
    state.lineCount = read.lineCount;
    writeOutput(read.stored, read.lineCount, state, options, out, eol);
}

std::string formatText(std::string_view text, SessionState& state, const FormatOptions& options,
                       std::string_view eol) {
    std::string out;
    out.reserve(text.size() + text.size() / 4 + 1024);
    formatFile(splitLines(text), state, options, out, eol);
    return out;
}

std::vector<std::string> formatLines(const std::vector<std::string>& rawLines, SessionState& state,
                                     const FormatOptions& options) {
    std::vector<std::string_view> views(rawLines.begin(), rawLines.end());
    std::string out;
    formatFile(views, state, options, out, "\n");
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
