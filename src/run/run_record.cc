// Collecting a run's manifest: each file's outcome from `chuli` turned into
// what a restore needs to know.
#include "run/run_record.h"

#include <chrono>

namespace codekiln {

std::int64_t nowMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

RunRecord::RunRecord(const std::string& folder, const std::string& extension, const FormatOptions& options,
                     int slot, Platform& platform)
    : platform_(platform) {
    manifest_.startedMs = nowMilliseconds();
    // A restore must find the folder however the run was started (".",
    // a relative path, a path through a link).
    manifest_.folder = platform.canonicalPath(folder);
    if (manifest_.folder.empty()) manifest_.folder = folder;
    manifest_.extension = extension;
    manifest_.options = options;
    manifest_.slot = slot;
}

Status RunRecord::begin() {
    begun_ = true;
    return platform_.removeRunManifest(slotFolderPath(platform_, manifest_.slot));
}

void RunRecord::add(const std::string& path, const FileOutcome& file) {
    ManifestFile entry;
    entry.path = path;
    entry.original = file.original;
    if (!file.status) {
        entry.end = FileEnd::Failed;
        entry.reason = file.status.message;
    } else {
        entry.written = file.written;
        entry.end = file.written == file.original ? FileEnd::Unchanged : FileEnd::Formatted;
    }
    manifest_.files.push_back(std::move(entry));
}

Status RunRecord::finish() {
    if (!begun_) return Status::success();
    manifest_.endedMs = nowMilliseconds();
    return platform_.writeRunManifest(slotFolderPath(platform_, manifest_.slot), manifest_);
}

}  // namespace codekiln
