// The safety check run before a formatted file is written: the new text must
// mean the same as the old one.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/published_text.h"
#include "engine/state/format_options.h"

namespace codekiln {

/// What the safety check found different.
enum class SafetyDifference {
    None,
    LineChanged,            ///< an input line is changed or missing
    LineMissing,            ///< fixed form: an input line is missing
    AddedText,              ///< the output has text past the input's end
    ConstantChanged,        ///< a character constant is changed or missing
    ConstantMissing,        ///< a character constant is missing
    AddedConstant,          ///< the output has a character constant more
    CommentChanged,         ///< fixed form: a comment line is changed
    LabelFieldChanged,      ///< fixed form: the label field or continuation mark
    BeyondColumn72Changed,  ///< fixed form: the text beyond column 72
    FixedConstantChanged,   ///< fixed form: a character or Hollerith constant
};

/// The outcome of comparing a file's text before and after formatting.
struct SafetyVerdict {
    bool same = true;    ///< the significant content is unchanged
    std::string reason;  ///< what differs, in English, when not
    SafetyDifference difference = SafetyDifference::None;
    long long line = 0;  ///< the line it concerns (of the output for the added kinds)
};

/// Compares the significant content of the raw input lines (without line
/// ends, as `splitLines` gives them) with the formatted output lines: the
/// lines without blanks and without their leading blanks and tabs (empty
/// lines and this tool's banner lines left out), and separately the
/// character constants, byte for byte.
SafetyVerdict checkSafety(const std::vector<std::string_view>& inputLines,
                          const std::vector<std::string_view>& outputLines);

/// The same with the formatted output as one text, split into lines as
/// `splitLines` does, without building a list of its lines.
SafetyVerdict checkSafety(const std::vector<std::string_view>& inputLines, std::string_view outputText);

/// The same with both texts split into lines as `splitLines` does, without
/// a list of either's lines.
SafetyVerdict checkSafety(std::string_view inputText, std::string_view outputText);

/// The same for a file of the given form. In fixed form the lines are
/// compared one for one (blank lines and banner lines left out): comment
/// lines exactly, label fields and continuation marks exactly, text beyond
/// column 72 exactly (so no statement text is pushed past it), statement
/// text without its blanks, and its constants byte for byte.
SafetyVerdict checkSafety(const std::vector<std::string_view>& inputLines, std::string_view outputText,
                          SourceForm form);
SafetyVerdict checkSafety(std::string_view inputText, std::string_view outputText, SourceForm form);

/// The free-form check of `inputText` against an output another thread is
/// still writing, read as it is published: the verdict `checkSafety` gives
/// on the finished output. `inputDone(offset)`, where set, is told now and
/// then that the input before `offset` is read no more, by the check or by
/// the writer (the mark it publishes), so that its memory can be let go.
SafetyVerdict checkSafetyAsWritten(std::string_view inputText, PublishedText& output,
                                   const std::function<void(std::size_t)>& inputDone = {});

}  // namespace codekiln
