// The project's settings file, .codekiln.toml: the command line's defaults
// for one source tree, found in the folder given or its nearest parent.
#pragma once

#include <string>

#include "cli/cli_options.h"
#include "platform/status.h"

namespace codekiln {

/// The settings file's name.
inline constexpr const char* kProjectConfigName = ".codekiln.toml";

/// The settings file that governs `folder`: the one in `folder` or in its
/// nearest parent, looking no further up than a folder that holds ".git"
/// (the top of a repository) or the root. Empty when there is none.
std::string findProjectConfig(const std::string& folder);

/// Reads the settings file at `path` into `options`, leaving alone every key
/// in `options.givenKeys`. An unreadable file, a syntax error, an unknown
/// key, a wrong type or a bad value is an error naming the file, the line
/// and the key; `options` is then unchanged.
Status applyProjectConfig(const std::string& path, CliOptions& options);

}  // namespace codekiln
