// Formatting a list of lines into a list of lines, for tests that compare
// formatted files line by line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/format/format_file.h"

namespace codekiln::testing {

/// The lines `formatFile` writes for `rawLines`, without their line ends.
inline std::vector<std::string> formatLines(const std::vector<std::string>& rawLines, const FormatOptions& options,
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

}  // namespace codekiln::testing
