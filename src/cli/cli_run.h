// Running codekiln-cli's modes, and the one place where what happened
// becomes an exit code.
#pragma once

#include <cstdio>
#include <string>

#include "cli/cli_options.h"
#include "platform/status.h"
#include "run/pipeline.h"

namespace codekiln {

/// How a command-line run ended.
enum class CliResult {
    Success,           ///< every file formatted (or, with --check, none would change)
    FilesFailed,       ///< some file could not be formatted and was left untouched
    ChangesFound,      ///< --check or --diff: some file would change
    UsageError,        ///< bad arguments, a path that is not there, or a bad settings file
    Cancelled,         ///< the extension warning was answered No, or nobody could answer it
    MissingExtension,  ///< the extension was empty after trimming
};

/// The exit code for a result: 0 success, 1 failed files or changes found,
/// 2 usage error, cancelled warning or missing extension.
int exitCodeFor(CliResult result);

/// Runs the parsed command line, with the project's settings file (unless
/// --no-config) supplying what the command line did not set. The summary, formatted text and changed
/// names go to `out`; questions, progress and errors to `err`.
CliResult runCli(const CliOptions& given, std::FILE* in, std::FILE* out, std::FILE* err);

/// The text `bytes` formatted as --stdout formats one file with `options`
/// (its --range included), named `name` in the reason of a refusal. With
/// `alongside`, a free-form text is checked on a second thread as it is
/// written, and the input's memory is let go behind both (the caller keeps
/// no use for `bytes`).
PipelineResult formatOneText(const CliOptions& options, std::string bytes, const std::string& name,
                             bool alongside = false);

/// `options` made those of `--stdout - --stdin-filename path`: the settings
/// file found from `path` applied.
Status applyDocumentConfig(CliOptions& options, const std::string& path);

}  // namespace codekiln
