// The reasons a file was left unformatted, as the window shows them: the
// tool's own words in Chinese, the path as it is, and the system's own text
// (the part in parentheses) as the system gave it.
#pragma once

#include <QString>

namespace codekiln {

/// `reasons` with every phrase of the tool's own put in Chinese. A phrase
/// the table does not know is left as it is.
QString chineseReasons(QString reasons);

}  // namespace codekiln
