// Collecting a run's manifest: each file's outcome from `chuli` turned into
// what a restore needs to know.
#include "run/run_record.h"

#include <chrono>

#include "run/reason_text.h"

namespace codekiln {

std::int64_t nowMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

RunRecord::RunRecord(const std::string& folder, const std::string& extension, const FormatOptions& options,
                     int slot, FileSystem& files)
    : files_(files) {
    manifest_.startedMs = nowMilliseconds();
    // A restore must find the folder however the run was started (".",
    // a relative path, a path through a link).
    manifest_.folder = files.canonicalPath(folder);
    if (manifest_.folder.empty()) manifest_.folder = folder;
    manifest_.extension = extension;
    manifest_.options = options;
    manifest_.slot = slot;
}

Status RunRecord::begin() {
    begun_ = true;
    manifest_.journaled = true;
    const std::string slotFolder = slotFolderPath(files_, manifest_.slot);
    const Status started = files_.writeRunManifest(slotFolder, manifest_);
    manifestBegun_ = static_cast<bool>(started);
    return started ? started : files_.removeRunManifest(slotFolder);
}

ManifestFile RunRecord::replacing(const std::string& name, const std::string& place, const FileOutcome& file) {
    ManifestFile entry;
    entry.path = name;
    entry.place = place;
    entry.end = FileEnd::Formatted;
    entry.original = file.original;
    entry.written = file.written;
    return entry;
}

Status RunRecord::journal(const std::vector<ManifestFile>& files) {
    const std::string slotFolder = slotFolderPath(files_, manifest_.slot);
    if (!manifestBegun_) {
        const Status started = files_.writeRunManifest(slotFolder, manifest_);
        if (!started) return started;
        manifestBegun_ = true;
    }
    const Status added = files_.appendRunJournal(slotFolder, manifest_.startedMs, files, !journalBegun_);
    if (!added) return added;
    if (!journalBegun_) {
        // The journal's name, and the manifest's that points to it, on disk
        // before the first file is replaced.
        const Status synced = files_.syncFolders({slotFolder});
        if (!synced) return synced;
        journalBegun_ = true;
    }
    return Status::success();
}

namespace {

std::string joined(const std::string& folder, const std::string& name) {
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace

std::string RunRecord::placeOf(const std::string& filePath, const std::string& name) {
    const std::size_t cut = filePath.find_last_of(kPathSeparator == '/' ? "/" : "/\\");
    const std::string parent = cut == std::string::npos ? "." : filePath.substr(0, cut == 0 ? 1 : cut);
    const std::string base = cut == std::string::npos ? filePath : filePath.substr(cut + 1);
    auto folder = resolvedFolders_.find(parent);
    if (folder == resolvedFolders_.end())
        folder = resolvedFolders_.emplace(parent, files_.canonicalPath(parent)).first;
    // A folder gone already: the file is not there to be written either.
    if (folder->second.empty()) return {};
    // A symbolic link's target is what the run rewrites, so that is what
    // its restore must put back; the link itself is never written.
    if (files_.pathKind(filePath) == PathKind::SymLink) return files_.canonicalPath(filePath);
    const std::string place = joined(folder->second, base);
    return place == joined(manifest_.folder, name) ? std::string() : place;
}

void RunRecord::add(const std::string& name, const std::string& place, const FileOutcome& file) {
    ManifestFile entry = replacing(name, place, file);
    if (!file.status) {
        entry.end = FileEnd::Failed;
        entry.written = {};
        entry.reason = englishText(file.status);
    } else if (file.written == file.original) {
        entry.end = FileEnd::Unchanged;
    }
    manifest_.files.push_back(std::move(entry));
}

Status RunRecord::finish() {
    if (!begun_) return Status::success();
    manifest_.endedMs = nowMilliseconds();
    return files_.writeRunManifest(slotFolderPath(files_, manifest_.slot), manifest_);
}

}  // namespace codekiln
