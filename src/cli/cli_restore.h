// codekiln-cli's undo: --restore and --list-backups, printed for a reader.
#pragma once

#include <cstdio>

#include "cli/cli_options.h"
#include "cli/cli_run.h"

namespace codekiln {

/// How long --restore waits for a run that holds the backup root.
inline constexpr int kRestoreLockWaitMilliseconds = 5000;

/// --restore: what was restored and what was left alone go to `out`, a
/// refusal to `err`. FilesFailed when anything was left alone.
CliResult runRestoreMode(const CliOptions& options, std::FILE* out, std::FILE* err);

/// --list-backups: one line per slot on `out`.
CliResult runListBackupsMode(const CliOptions& options, std::FILE* out);

}  // namespace codekiln
