// `chuli`, the pass over one file: entry and backup, then the pipeline and
// the write. The session moves exactly as it would have if every step had
// worked whenever the file could be read: a file that cannot be backed up or
// written is still formatted in memory, so the next file's labelled-DO
// record is the same as without the fault.
#include "run/chuli.h"

#include <utility>

#include "run/pipeline.h"
#include "run/settings.h"

namespace codekiln {

namespace {

constexpr int kBackupFolders = 5;

std::string joinPath(const std::string& folder, const std::string& name) {
    return folder + kPathSeparator + name;
}

// Makes sure of the folders of `relative` ("sub/deeper/a.f90") below `base`,
// one level at a time; the name's own last part is not a folder.
Status makeBackupFolders(Platform& platform, const std::string& base, const std::string& relative) {
    std::string folder = base;
    for (std::size_t from = 0, cut; (cut = relative.find('/', from)) != std::string::npos; from = cut + 1) {
        folder = joinPath(folder, relative.substr(from, cut - from));
        if (!platform.folderExists(folder)) {
            const Status created = platform.createFolder(folder);
            if (!created) return created;
        }
    }
    return Status::success();
}

}  // namespace

std::string backupFolderName(int slot) { return "备份" + std::to_string(slot); }

std::string fileNameOf(const std::string& fn) {
#ifdef _WIN32
    const std::size_t cut = fn.find_last_of("\\/");
#else
    const std::size_t cut = fn.rfind('/');
#endif
    return cut == std::string::npos ? fn : fn.substr(cut + 1);
}

FileOutcome chuli(const std::string& fn, SessionState& session, RunCounters& run, const FormatOptions& options,
                  Platform& platform, const std::string& runName, const PipelineOptions& pipeline) {
    FileOutcome outcome;
    // Entry: the file counts and is named before it is even looked at.
    run.fileCount += 1;
    if (session.backupSlot > kBackupFolders) session.backupSlot = 1;
    platform.writeSetting(kSlotSection, kSlotKey, std::to_string(session.backupSlot));  // failure ignored
    const std::string name = runName.empty() ? fileNameOf(fn) : runName;
    if (run.processedNames.size() < static_cast<std::size_t>(run.fileCount)) {
        run.processedNames.resize(static_cast<std::size_t>(run.fileCount));
    }
    run.processedNames[static_cast<std::size_t>(run.fileCount - 1)] = name;

    // The five backup folders; a missing file ends the pass once the first
    // of them has been made sure of.
    const std::string root = platform.backupRoot();
    Status folders;
    for (int k = 1; k <= kBackupFolders; ++k) {
        const std::string folder = joinPath(root, backupFolderName(k));
        if (!platform.folderExists(folder)) {
            const Status created = platform.createFolder(folder);
            if (!created && folders) folders = created;
        }
        if (!platform.fileExists(fn)) {
            outcome.status = Status::failure(fn + ": file not found");
            return outcome;
        }
    }
    const std::string slotFolder = joinPath(root, backupFolderName(session.backupSlot));
    Status backedUp = makeBackupFolders(platform, slotFolder, name);
    if (backedUp) backedUp = platform.copyFile(fn, joinPath(slotFolder, name));
    if (!backedUp && !folders) backedUp = Status::failure(folders.message + "; " + backedUp.message);

    // Reading: a file that cannot be read or decoded leaves the session alone.
    std::string original;
    outcome.status = platform.readFile(fn, original);
    if (!outcome.status) return outcome;
    outcome.original = platform.fingerprint(original);
    PipelineResult result = formatFileBytes(std::move(original), fn, options, session.doLabels, platform, pipeline);
    outcome.lineCount = result.lineCount;
    if (!result.formatted()) {
        outcome.status = Status::failure(result.reason);
        return outcome;
    }

    // Nothing is rewritten without its backup copy.
    if (!backedUp) {
        outcome.status = Status::failure(backedUp.message + "; not formatted, as it has no backup copy");
        return outcome;
    }
    outcome.status = platform.writeFile(fn, result.bytes);
    if (outcome.status) outcome.written = platform.fingerprint(result.bytes);
    return outcome;
}

}  // namespace codekiln
