// A run in place as one JSON object (--json), for scripts and editor
// plugins that should not have to read the Chinese summary.
#pragma once

#include <string>
#include <vector>

#include "run/run_batch.h"

namespace codekiln {

/// What the report says of a run besides its outcome.
struct RunReportContext {
    std::string backupRoot;           ///< the folder that holds 备份1..备份5
    int backupSlot = 0;               ///< the slot the run used; 0 when it never started
    std::vector<std::string> errors;  ///< paths that could not be listed, a manifest not kept
};

/// The report, one line: {"end": "completed" | "not-started" | "cancelled" |
/// "missing-extension", "message", "backupSlot", "backupFolder", "files":
/// [{"name", "path", "outcome": "formatted" | "unchanged" | "refused",
/// "reason" (refused: a failureCodeName), "message", "lines", "sameFile"}],
/// "counts": {"files", "formatted", "unchanged", "refused", "lines"},
/// "warnings", "errors"}.
std::string runReportJson(const BatchOutcome& outcome, const RunReportContext& context);

}  // namespace codekiln
