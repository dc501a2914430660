// What --diff prints for one file: the unified diff, with three lines of
// context, between the file as it is and as formatting would leave it.
#pragma once

#include <string>

namespace codekiln {

/// The unified diff from `before` to `after` under the header lines
/// "--- name" and "+++ name"; empty when the two are the same. Lines are
/// shown without their line ends, except on changed lines whose text is the
/// same on the other side and whose ends differ: there the end is spelt out
/// ("␍␊" for CR LF, "␊" for LF, "␍" for a lone CR), so a change of line ends
/// alone is visible. A last line without an end gets the usual
/// "\ No newline at end of file". With `color`, removed lines are red, added
/// lines green and hunk headers cyan.
std::string unifiedDiff(const std::string& before, const std::string& after, const std::string& name,
                        bool color);

}  // namespace codekiln
