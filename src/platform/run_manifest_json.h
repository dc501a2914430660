// A run manifest as JSON, the form it takes in its slot folder. Reading is
// strict: a manifest decides what a restore may overwrite, so anything
// missing, of the wrong type or out of range makes the whole file refused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace codekiln {

/// The manifest as indented UTF-8 JSON.
std::string manifestToJson(const RunManifest& manifest);

/// Reads `json` into `manifest`; a failure says what is wrong, naming
/// `path`.
Status manifestFromJson(const std::string& json, const std::string& path, RunManifest& manifest);

/// What a run adds to its journal: one line of JSON per file, after a first
/// line naming the run by its start time when the journal is begun (`start`).
std::string journalToText(std::int64_t startedMs, const std::vector<ManifestFile>& files, bool start);

/// Reads a journal's `text` (see FileSystem::readRunJournal), naming `path`
/// in a failure.
Status journalFromText(const std::string& text, std::int64_t startedMs, const std::string& path,
                       std::vector<ManifestFile>& files, bool& found);

}  // namespace codekiln
