// Wildcard patterns for --exclude and the settings file's `exclude`, matched
// against paths relative to the folder given, with "/" between folders.
#pragma once

#include <string>
#include <vector>

namespace codekiln {

/// Whether `pattern` matches the relative path `path`. "*" stands for any
/// run of characters within one folder or file name, "?" for one such
/// character, "**" for any run including "/" ("**/" also for none at all).
/// A pattern without "/" is matched against the last name of the path only,
/// so "*_gen.f90" leaves such files out at every depth. Case matters, except
/// on Windows, where letters match in either case and "\\" in a pattern is
/// taken for "/", as the system takes them in paths.
bool globMatches(const std::string& pattern, const std::string& path);

/// Whether any of `patterns` matches `path`.
bool anyGlobMatches(const std::vector<std::string>& patterns, const std::string& path);

}  // namespace codekiln
