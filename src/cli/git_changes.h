// --changed: the lines of each file that differ from a git revision, asked
// of git itself (run as a program), so that a run re-indents only what was
// touched since then.
#pragma once

#include <string>
#include <vector>

#include "cli/line_edits.h"
#include "platform/status.h"
#include "run/run_batch.h"

namespace codekiln {

/// The new side's lines of `git diff -U0` output: one range per hunk that
/// has any ("@@ -a,b +c,d @@" gives c..c+d-1; d defaults to 1, 0 gives none).
std::vector<LineRange> changedRanges(const std::string& diff);

/// Makes each of `files` keep only the changes on its lines that differ
/// from `revision` (its working-tree text against that commit: staged and
/// unstaged changes alike); a file git does not track keeps all of them.
/// A failure, naming the path, when a PATH or file lies outside a git work
/// tree, the revision is not a commit there, or git cannot be run: nothing
/// is to be touched then.
Status limitToChangedLines(std::vector<RunFile>& files, const std::vector<std::string>& paths,
                           const std::string& revision);

}  // namespace codekiln
