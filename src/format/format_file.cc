// One file through the formatting pass: read and clean, then write.
#include "format/format_file.h"

#include <cstring>

#include "format/output_writer.h"
#include "format/stored_lines.h"

namespace codekiln {

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    lines.reserve(text.size() / 32 + 1);
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const auto* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        const char* stop = lf ? lf : end;
        const auto* cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<std::size_t>(stop - p)));
        if (cr != nullptr) {
            // A CR ends the line; with an LF right after it, both do.
            lines.emplace_back(p, static_cast<std::size_t>(cr - p));
            p = (cr + 1 < end && cr[1] == '\n') ? cr + 2 : cr + 1;
        } else {
            lines.emplace_back(p, static_cast<std::size_t>(stop - p));
            p = lf ? lf + 1 : end;
        }
    }
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
    out.reserve(text.size() + text.size() / 2 + 1024);
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
