// codekiln-cli --lsp: a language server over standard input and output that
// formats the editor's buffers (whole or a range of lines) as --stdout
// formats the file they stand for. It never writes a file, makes no backup
// and leaves the backup slot alone.
#pragma once

#include <cstdio>

#include "cli/cli_options.h"

namespace codekiln {

/// Serves JSON-RPC messages (Content-Length framing) from `in` until "exit"
/// or the end of the input; `options` are the command line's, which each
/// document's settings file completes. Returns 0 when a shutdown request
/// came before the end, else 1.
int runLspServer(const CliOptions& options, std::FILE* in, std::FILE* out);

}  // namespace codekiln
