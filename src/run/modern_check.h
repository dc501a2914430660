// The second safety check of the modern layout: the layout may change a
// line's leading blanks and drop its trailing ones, and nothing else. Line
// count and each line's own line end must stay as they were.
#pragma once

#include <string>
#include <string_view>

#include "engine/state/format_options.h"
#include "platform/status.h"

namespace codekiln {

/// Compares the text before and after the modern layout line by line.
/// Succeeds when every output line is its input line byte for byte, or the
/// input line with its leading whitespace replaced by blanks and its
/// trailing blanks and tabs dropped. In fixed form the label field and
/// column 6 (or the TAB form) must stay as they are, comment lines are kept
/// whole, and the statement field may keep trailing blanks. Otherwise the
/// failure names the first line that differs.
Status checkModernLines(std::string_view before, std::string_view after, SourceForm form);

}  // namespace codekiln
