// The safety check for fixed-form files. The fixed-form writer keeps every
// line a line of its own and moves only statement text, so the two sides
// are compared line for line.
#include <string>

#include "engine/format/fixed_form.h"
#include "engine/format/format_file.h"
#include "engine/format/line_splitter.h"
#include "engine/format/safety_check.h"
#include "engine/format/stored_lines.h"
#include "engine/state/text.h"

namespace codekiln {
namespace {

/// The lines of a list, one after another.
class ListLines {
public:
    explicit ListLines(const std::vector<std::string_view>& lines) : lines_(lines) {}
    bool next(std::string_view& line) {
        if (i_ == lines_.size()) return false;
        line = lines_[i_++];
        return true;
    }

private:
    const std::vector<std::string_view>& lines_;
    std::size_t i_ = 0;
};

/// One side's lines that formatting must keep, in order: blank lines and
/// banner lines are left out. `Lines` hands out the raw lines one at a time
/// (a list, or a text split as it is walked).
template <typename Lines>
class FixedSide {
public:
    explicit FixedSide(Lines lines) : lines_(lines) {}

    /// Moves to the next line that counts; false at the end.
    bool next() {
        while (lines_.next(raw_)) {
            ++at_;
            fields_ = cutFixedLine(raw_);
            if (fields_.kind == FixedLine::Kind::Blank) continue;
            if (fields_.kind == FixedLine::Kind::Comment) {
                std::string_view content = trimBlanks(raw_);
                while (!content.empty() && content.front() == '\t') content.remove_prefix(1);
                if (isBannerLine(trimBlanks(content))) continue;
            }
            readConstants();
            return true;
        }
        return false;
    }
    std::size_t line() const { return at_; }
    std::string_view raw() const { return raw_; }
    const FixedLine& fields() const { return fields_; }
    const std::vector<std::string>& constants() const { return constants_; }

private:
    void readConstants() {
        constants_.clear();
        if (!fields_.code()) return;
        if (fields_.kind == FixedLine::Kind::Initial || !inStatement_) {
            state_ = ConstantState{};
            state_.inFormat = fields_.kind == FixedLine::Kind::Initial && startsFormatStatement(fields_.text);
        }
        inStatement_ = true;
        scanFixedText(
            fields_.text, state_, [](std::string_view) {},
            [&](std::string_view piece) { constants_.emplace_back(piece); });
    }

    Lines lines_;
    std::size_t at_ = 0;  // the lines read so far
    std::string_view raw_;
    FixedLine fields_;
    ConstantState state_;
    bool inStatement_ = false;
    std::vector<std::string> constants_;
};

SafetyVerdict differs(SafetyDifference difference, long long line, std::string reason) {
    return SafetyVerdict{false, std::move(reason), difference, line};
}

/// Whether two statement texts are the same without their blanks.
bool sameWithoutBlanks(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    for (;;) {
        while (i < a.size() && a[i] == ' ') ++i;
        while (j < b.size() && b[j] == ' ') ++j;
        if (i == a.size() || j == b.size()) return i == a.size() && j == b.size();
        if (a[i++] != b[j++]) return false;
    }
}

template <typename InputLines>
SafetyVerdict checkFixedSafety(InputLines inputLines, std::string_view outputText) {
    FixedSide<InputLines> in(inputLines);
    FixedSide<LineSplitter> out{LineSplitter(outputText)};
    for (;;) {
        const bool moreIn = in.next();
        const bool moreOut = out.next();
        if (!moreIn && !moreOut) return SafetyVerdict{};
        const auto where = [&] { return "line " + std::to_string(in.line()); };
        if (!moreOut)
            return differs(SafetyDifference::LineMissing, in.line(), where() + " is missing after formatting");
        if (!moreIn)
            return differs(SafetyDifference::AddedText, out.line(),
                           "formatting added text at output line " + std::to_string(out.line()));
        const FixedLine& a = in.fields();
        const FixedLine& b = out.fields();
        if (a.kind != b.kind)
            return differs(SafetyDifference::LineChanged, in.line(),
                           where() + " is changed or missing after formatting");
        if (a.kind == FixedLine::Kind::Comment) {
            if (in.raw() != out.raw())
                return differs(SafetyDifference::CommentChanged, in.line(),
                               where() + ", a comment line, is changed after formatting");
            continue;
        }
        if (a.field != b.field)
            return differs(SafetyDifference::LabelFieldChanged, in.line(),
                           where() + ": its label field or continuation mark is changed after formatting");
        if (a.tail != b.tail)
            return differs(SafetyDifference::BeyondColumn72Changed, in.line(),
                           where() + ": its text beyond column 72 is changed after formatting");
        if (!sameWithoutBlanks(a.text, b.text))
            return differs(SafetyDifference::LineChanged, in.line(),
                           where() + " is changed or missing after formatting");
        if (in.constants() != out.constants())
            return differs(SafetyDifference::FixedConstantChanged, in.line(),
                           "a character or Hollerith constant on " + where() + " is changed after formatting");
    }
}

}  // namespace

SafetyVerdict checkSafety(const std::vector<std::string_view>& inputLines, std::string_view outputText,
                          SourceForm form) {
    if (form == SourceForm::Fixed) return checkFixedSafety(ListLines(inputLines), outputText);
    return checkSafety(inputLines, outputText);
}

SafetyVerdict checkSafety(std::string_view inputText, std::string_view outputText, SourceForm form) {
    if (form == SourceForm::Fixed) return checkFixedSafety(LineSplitter(inputText), outputText);
    return checkSafety(inputText, outputText);
}

}  // namespace codekiln
