// A plain second reading of what the safety check compares, for the fuzz
// target to hold the check against: every significant line and every
// character constant of a text collected in full, then compared as lists.
// Slow and simple on purpose; the check itself walks both texts in step and
// takes shortcuts for lines written as they were read.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/format/stored_lines.h"
#include "engine/state/text.h"

namespace codekiln::reference {

struct Significant {
    std::vector<std::string> lines;
    std::vector<std::string> constants;
    bool operator==(const Significant& o) const { return lines == o.lines && constants == o.constants; }
};

inline std::string_view skipLeading(std::string_view s, bool tabsToo) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || (tabsToo && s[i] == '\t'))) ++i;
    return s.substr(i);
}

inline std::string withoutBlanks(std::string_view s) {
    std::string out;
    for (char c : s)
        if (c != ' ') out.push_back(c);
    return out;
}

inline Significant significant(const std::vector<std::string_view>& lines) {
    Significant sig;
    char continued = 0;
    for (std::string_view raw : lines) {
        std::string_view content = trimBlanks(raw);
        while (!content.empty() && content.front() == '\t') content.remove_prefix(1);
        content = trimBlanks(content);
        if (content.empty() || isBannerLine(content)) continue;
        if (content.front() == '!') {
            sig.lines.push_back(withoutBlanks(skipLeading(raw, true)));
            continue;
        }
        const bool resumesAtStart = continued != 0 && content.front() != '&';
        const std::string line = withoutBlanks(resumesAtStart ? raw : skipLeading(raw, true));
        if (!line.empty()) sig.lines.push_back(line);

        std::string_view code = resumesAtStart ? trimTrailingBlanks(raw) : content;
        if (continued != 0 && !resumesAtStart) code.remove_prefix(1);  // the leading "&"
        char quote = continued;
        std::string constant;
        bool open = quote != 0;
        for (std::size_t i = 0; i < code.size(); ++i) {
            const char c = code[i];
            if (!open) {
                if (c == '!') break;
                if (c == '\'' || c == '"') {
                    open = true;
                    quote = c;
                    constant.assign(1, c);
                }
                continue;
            }
            constant.push_back(c);
            if (c != quote) continue;
            if (i + 1 < code.size() && code[i + 1] == quote) {
                constant.push_back(code[++i]);
                continue;
            }
            sig.constants.push_back(constant);
            constant.clear();
            open = false;
            quote = 0;
        }
        if (open && !constant.empty()) sig.constants.push_back(constant);
        continued = (open && trimTrailingBlanks(raw).back() == '&') ? quote : 0;
    }
    return sig;
}

}  // namespace codekiln::reference
