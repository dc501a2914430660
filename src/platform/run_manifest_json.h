// A run manifest as JSON, the form it takes in its slot folder. Reading is
// strict: a manifest decides what a restore may overwrite, so anything
// missing, of the wrong type or out of range makes the whole file refused.
#pragma once

#include <string>

#include "platform/file_system.h"

namespace codekiln {

/// The manifest as indented UTF-8 JSON.
std::string manifestToJson(const RunManifest& manifest);

/// Reads `json` into `manifest`; a failure says what is wrong, naming
/// `path`.
Status manifestFromJson(const std::string& json, const std::string& path, RunManifest& manifest);

}  // namespace codekiln
