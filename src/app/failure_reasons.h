// The reasons a file was left unformatted, as the window shows them: the
// tool's own words in Chinese, the path as it is, and the system's own text
// (the part in parentheses) as the system gave it.
#pragma once

#include <string>

#include "platform/status.h"

namespace codekiln {

/// The window's pattern for `reason` (see run/reason_text.h). Codes the
/// window has no Chinese for keep their English words.
const char* chineseWording(const Reason& reason);

/// `reason` as the window shows it.
std::string chineseText(const Reason& reason);

}  // namespace codekiln
