// The edit script comes from dtl (an O(ND) diff of the two line lists); this
// file only groups it into hunks and prints them.
#include "cli/unified_diff.h"

#include "cli/line_edits.h"

#include <dtl/dtl.hpp>
#include <string_view>
#include <vector>

namespace codekiln {

namespace {

constexpr std::size_t kContext = 3;

std::size_t endLength(const std::string& line) {
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) return 2;
    if (!line.empty() && (line.back() == '\n' || line.back() == '\r')) return 1;
    return 0;
}

std::string_view body(const std::string& line) {
    return std::string_view(line).substr(0, line.size() - endLength(line));
}

std::string spelledEnd(const std::string& line) {
    const std::string_view end = std::string_view(line).substr(line.size() - endLength(line));
    std::string spelled;
    for (char c : end) spelled += c == '\r' ? "␍" : "␊";
    return spelled;
}

struct Op {
    dtl::edit_t type;
    const std::string* line;
};

class Printer {
public:
    explicit Printer(bool color) : color_(color) {}

    void header(const std::string& name) {
        paint("\x1b[1m", "--- " + name);
        paint("\x1b[1m", "+++ " + name);
    }

    void hunk(const std::vector<Op>& ops, std::size_t from, std::size_t to, std::size_t oldStart,
              std::size_t newStart) {
        std::size_t oldCount = 0, newCount = 0;
        for (std::size_t i = from; i < to; ++i) {
            if (ops[i].type != dtl::SES_ADD) ++oldCount;
            if (ops[i].type != dtl::SES_DELETE) ++newCount;
        }
        // An empty side names the line before the hunk.
        paint("\x1b[36m", "@@ -" + std::to_string(oldCount == 0 ? oldStart - 1 : oldStart) + "," +
                              std::to_string(oldCount) + " +" +
                              std::to_string(newCount == 0 ? newStart - 1 : newStart) + "," +
                              std::to_string(newCount) + " @@");
        for (std::size_t i = from; i < to; ++i) {
            const Op& op = ops[i];
            const char* mark = op.type == dtl::SES_ADD ? "+" : op.type == dtl::SES_DELETE ? "-" : " ";
            std::string text = mark + std::string(body(*op.line));
            if (op.type != dtl::SES_COMMON && endDiffers(ops, from, to, i)) text += spelledEnd(*op.line);
            paint(op.type == dtl::SES_ADD ? "\x1b[32m" : op.type == dtl::SES_DELETE ? "\x1b[31m" : "", text);
            if (endLength(*op.line) == 0) out_ += "\\ No newline at end of file\n";
        }
    }

    std::string take() { return std::move(out_); }

private:
    // Whether the hunk holds, on the other side, the same text with another end.
    static bool endDiffers(const std::vector<Op>& ops, std::size_t from, std::size_t to, std::size_t at) {
        const Op& op = ops[at];
        for (std::size_t i = from; i < to; ++i) {
            if (ops[i].type == dtl::SES_COMMON || ops[i].type == op.type) continue;
            if (body(*ops[i].line) == body(*op.line) && *ops[i].line != *op.line) return true;
        }
        return false;
    }

    void paint(const char* colour, const std::string& line) {
        if (color_ && *colour != '\0') {
            out_ += colour + line + "\x1b[0m\n";
        } else {
            out_ += line + "\n";
        }
    }

    bool color_;
    std::string out_;
};

}  // namespace

std::string unifiedDiff(const std::string& before, const std::string& after, const std::string& name,
                        bool color) {
    if (before == after) return {};
    const std::vector<std::string> a = linesWithEnds(before);
    const std::vector<std::string> b = linesWithEnds(after);
    dtl::Diff<std::string> diff(a, b, true);  // a change shows its removed lines first
    diff.onHuge();
    diff.compose();

    // The script as one list, with each entry's line numbers on both sides.
    std::vector<Op> ops;
    std::vector<std::size_t> oldLine, newLine;  // 1-based number of the line at or after each entry
    std::size_t oldNo = 1, newNo = 1;
    for (const auto& entry : diff.getSes().getSequence()) {
        // The script walks both lists in order; the entry's line is ours at
        // the current position on its side.
        const dtl::edit_t type = entry.second.type;
        ops.push_back({type, type == dtl::SES_ADD ? &b.at(newNo - 1) : &a.at(oldNo - 1)});
        oldLine.push_back(oldNo);
        newLine.push_back(newNo);
        if (type != dtl::SES_ADD) ++oldNo;
        if (type != dtl::SES_DELETE) ++newNo;
    }

    Printer printer(color);
    printer.header(name);
    const std::size_t n = ops.size();
    std::size_t i = 0;
    while (i < n && ops[i].type == dtl::SES_COMMON) ++i;
    std::size_t previousEnd = 0;
    while (i < n) {
        // A hunk runs from its first change to its last, taking in runs of
        // unchanged lines short enough that their contexts would touch.
        std::size_t lastChange = i;
        for (std::size_t j = i; j < n;) {
            if (ops[j].type != dtl::SES_COMMON) {
                lastChange = j++;
                continue;
            }
            std::size_t k = j;
            while (k < n && ops[k].type == dtl::SES_COMMON) ++k;
            if (k == n || k - j > 2 * kContext) break;
            j = k;
        }
        const std::size_t from = std::max(previousEnd, i >= kContext ? i - kContext : 0);
        const std::size_t to = std::min(n, lastChange + 1 + kContext);
        printer.hunk(ops, from, to, oldLine[from], newLine[from]);
        previousEnd = to;
        i = to;
        while (i < n && ops[i].type == dtl::SES_COMMON) ++i;
    }
    return printer.take();
}

}  // namespace codekiln
