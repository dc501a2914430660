// `chuli`, the pass over one file, in two halves so that a run can commit
// files in batches: entry, reading and the pipeline (`stageFile`), then the
// backup and the write (`commitFiles`). The session moves exactly as it would have if every step had
// worked whenever the file could be read: a file that cannot be backed up or
// written is still formatted in memory, so the next file's labelled-DO
// record is the same as without the fault.
#include "run/chuli.h"

#include <algorithm>
#include <set>
#include <utility>

#include "platform/file_names.h"
#include "platform/fingerprint.h"
#include "platform/paths.h"
#include "run/pipeline.h"

namespace codekiln {

namespace {

// Makes sure of the folders of `relative` ("sub/deeper/a.f90") below `base`,
// one level at a time; the name's own last part is not a folder. A level in
// `ready` was made sure of earlier in the run and is not looked at again.
Status makeBackupFolders(FileSystem& files, const std::string& base, const std::string& relative,
                         std::set<std::string>& ready) {
    std::string folder = base;
    for (std::size_t from = 0, cut; (cut = relative.find('/', from)) != std::string::npos; from = cut + 1) {
        folder = joinPath(folder, relative.substr(from, cut - from));
        const std::string level = relative.substr(0, cut);
        if (ready.count(level) != 0) continue;
        if (!files.folderExists(folder)) {
            const Status created = files.createFolder(folder);
            if (!created) return created;
        }
        ready.insert(level);
    }
    return Status::success();
}

// Makes sure of backup folders `first` to `last` below `root`; the first
// failure is kept in `folders`.
void makeSlotFolders(FileSystem& files, const std::string& root, int first, int last, Status& folders) {
    for (int k = first; k <= last; ++k) {
        const std::string folder = backupFolderPath(root, k);
        if (!files.folderExists(folder)) {
            const Status created = files.createFolder(folder);
            if (!created && folders) folders = created;
        }
    }
}

// `fn` with every link resolved. A plain entry (no link at its end) is its
// folder's resolved path and its name, the folder resolved once per run.
std::string resolvedPath(FileSystem& files, const std::string& fn, const FileIdentity& seen,
                         RunCounters& run) {
    const std::size_t cut = fn.find_last_of(kPathSeparator == '/' ? "/" : "/\\");
    if (!seen.plainEntry) return files.canonicalPath(fn);
    const std::string folder = cut == std::string::npos ? "." : fn.substr(0, cut == 0 ? 1 : cut);
    auto known = run.resolvedFolders.find(folder);
    if (known == run.resolvedFolders.end()) {
        const std::string resolved = files.canonicalPath(folder);
        if (resolved.empty()) return files.canonicalPath(fn);
        known = run.resolvedFolders.emplace(folder, resolved).first;
    }
    const std::string& base = known->second;
    const std::string name = cut == std::string::npos ? fn : fn.substr(cut + 1);
    return base.back() == '/' || base.back() == kPathSeparator ? base + name : base + '/' + name;
}

}  // namespace

const char* failureCodeName(FailureCode code) {
    switch (code) {
        case FailureCode::None:
            return "";
        case FailureCode::NotReadable:
            return "not-readable";
        case FailureCode::InBackupFolder:
            return "in-backup-folder";
        case FailureCode::NotDecoded:
            return "not-decoded";
        case FailureCode::SafetyCheck:
            return "safety-check";
        case FailureCode::NotEncodable:
            return "not-encodable";
        case FailureCode::Unstable:
            return "unstable";
        case FailureCode::NoBackup:
            return "no-backup";
        case FailureCode::NotWritten:
            return "not-written";
    }
    return "";
}

namespace {

FailureCode pipelineCode(PipelineEnd end) {
    switch (end) {
        case PipelineEnd::Formatted:
            return FailureCode::None;
        case PipelineEnd::NotDecoded:
            return FailureCode::NotDecoded;
        case PipelineEnd::Refused:
            return FailureCode::SafetyCheck;
        case PipelineEnd::NotEncoded:
            return FailureCode::NotEncodable;
        case PipelineEnd::Unstable:
            return FailureCode::Unstable;
    }
    return FailureCode::SafetyCheck;
}

}  // namespace

PreparedFile prepareFile(const std::string& fn, const FormatOptions& options, FileSystem& files,
                         const PipelineOptions& pipeline, const DoLabelRecord& assumed) {
    PreparedFile prepared;
    prepared.stat = files.statFile(fn, prepared.statIdentity);
    if (!prepared.stat) return prepared;
    prepared.readStatus = files.readFileOnce(fn, prepared.original, prepared.identity);
    if (!prepared.readStatus) return prepared;
    prepared.originalPrint = fingerprintOf(prepared.original);
    PipelineOptions ahead;  // without `keep`: the caller's, applied at the file's turn
    ahead.untilStable = pipeline.untilStable;
    ahead.times = pipeline.times != nullptr ? &prepared.times : nullptr;
    prepared.assumed = assumed;
    prepared.left = assumed;
    prepared.result = formatFileBytes(prepared.original, escapedName(fn), options, prepared.left, pipeline.encoding, ahead);
    return prepared;
}

StagedFile stageFile(const std::string& fn, SessionState& session, RunCounters& run, const FormatOptions& options,
                     FileSystem& files, SettingsStore& settings, const std::string& runName,
                     const PipelineOptions& pipeline, PreparedFile* prepared) {
    StagedFile staged;
    FileOutcome& outcome = staged.outcome;
    // Entry: the file counts and is named before it is even looked at. The
    // batch run has stored the slot under its lock before the first file;
    // storing it again costs nothing when it is unchanged.
    run.fileCount += 1;
    if (session.backupSlot > kBackupSlots) session.backupSlot = 1;
    (void)storeSlot(settings, session.backupSlot);  // failure ignored
    staged.path = fn;
    staged.name = runNameOf(fn, runName);
    if (run.processedNames.size() < static_cast<std::size_t>(run.fileCount)) {
        run.processedNames.resize(static_cast<std::size_t>(run.fileCount));
    }
    run.processedNames[static_cast<std::size_t>(run.fileCount - 1)] = escapedName(staged.name);

    // The five backup folders, made sure of until the run has them all; a
    // missing file ends the pass once the first of them has been.
    const std::string root = files.backupRoot();
    Status& folders = staged.folders;
    FileIdentity& identity = staged.identity;
    if (!run.backupFoldersReady) makeSlotFolders(files, root, 1, 1, folders);
    if (prepared != nullptr) {
        outcome.status = prepared->stat;
        identity = prepared->statIdentity;
    } else {
        outcome.status = files.statFile(fn, identity);
    }
    if (!outcome.status) {
        outcome.code = FailureCode::NotReadable;
        return staged;
    }
    if (!run.backupFoldersReady) {
        makeSlotFolders(files, root, 2, kBackupSlots, folders);
        run.backupFoldersReady = static_cast<bool>(folders);
    }

    // A file inside a backup folder could be its own backup, or another
    // file's: it is never formatted.
    const std::string resolved = resolvedPath(files, fn, identity, run);
    if (run.resolvedBackupRoot.empty()) run.resolvedBackupRoot = files.canonicalPath(root);
    if (isInsideBackupFolder(resolved, run.resolvedBackupRoot)) {
        outcome.status = Status::failure(Why::InBackupFolder, escapedName(fn), escapedName(root));
        outcome.code = FailureCode::InBackupFolder;
        return staged;
    }
    if (run.formattedPaths.count(resolved) != 0) {  // formatted already under another name
        outcome.sameFile = true;
        return staged;
    }

    // Read once: the backup, the formatting and the final check all work on
    // these bytes and on what the file was when they were read.
    std::string& original = staged.original;
    if (prepared != nullptr) {
        outcome.status = prepared->readStatus;
        original = std::move(prepared->original);
        identity = prepared->identity;
    } else {
        outcome.status = files.readFileOnce(fn, original, identity);
    }
    if (!outcome.status) {
        outcome.code = FailureCode::NotReadable;
        return staged;
    }
    if (!run.formattedInodes.insert({identity.device, identity.inode}).second && identity.inode != 0) {
        outcome.sameFile = true;  // a hard link to a file formatted already
        return staged;
    }
    if (!resolved.empty()) run.formattedPaths.insert(resolved);
    staged.backUp = true;  // whatever the formatting gives

    outcome.original = prepared != nullptr ? prepared->originalPrint : fingerprintOf(original);
    PipelineResult result;
    if (prepared != nullptr && prepared->assumed == session.doLabels) {
        // Formatted ahead from the very record this file receives.
        result = std::move(prepared->result);
        session.doLabels = std::move(prepared->left);
        if (pipeline.times != nullptr) {
            pipeline.times->format += prepared->times.format;
            pipeline.times->check += prepared->times.check;
        }
    } else {
        result = formatFileBytes(original, escapedName(fn), options, session.doLabels, pipeline.encoding, pipeline);
    }
    outcome.lineCount = result.lineCount;
    outcome.warnings = std::move(result.warnings);
    if (!result.formatted()) {
        outcome.status.ok = false;
        outcome.status.reason = std::move(result.reason);
        outcome.code = pipelineCode(result.end);
        return staged;
    }
    if (pipeline.keep) result.bytes = pipeline.keep(original, result.bytes);
    // A file already formatted is left exactly as it is.
    staged.rewrite = result.bytes != original;
    if (staged.rewrite) staged.bytes = std::move(result.bytes);
    return staged;
}

namespace {

/// Whether the pass's outcome still waits on the backup and the rewrite:
/// a file that could not be formatted keeps its own failure.
bool waitsOnWrite(const StagedFile& s) { return s.backUp && s.outcome.status; }

}  // namespace

void commitFiles(std::vector<StagedFile>& batch, const SessionState& session, RunCounters& run,
                 FileSystem& files, const BeforeReplacing& beforeReplacing) {
    const std::string root = files.backupRoot();
    const std::string slotFolder = backupFolderPath(root, session.backupSlot);

    // The backups: a hard link where the file is to be replaced by a new
    // one, else a copy of the bytes read.
    std::vector<Status> backedUp(batch.size());
    std::vector<BatchBackup> backups;
    std::vector<std::size_t> backupOf;
    for (std::size_t k = 0; k < batch.size(); ++k) {
        StagedFile& s = batch[k];
        if (!s.backUp) continue;
        backedUp[k] = makeBackupFolders(files, slotFolder, s.name, run.readyBackupSubfolders);
        if (!backedUp[k]) continue;
        BatchBackup b;
        b.to = joinPath(slotFolder, s.name);
        b.of = s.path;
        b.bytes = &s.original;
        b.read = s.identity;
        b.mayLink = s.rewrite && s.outcome.status;
        backups.push_back(std::move(b));
        backupOf.push_back(k);
    }
    if (!backups.empty()) files.writeBackups(backups);
    std::vector<bool> linked(batch.size(), false);
    for (std::size_t j = 0; j < backups.size(); ++j) {
        backedUp[backupOf[j]] = backups[j].status;
        linked[backupOf[j]] = backups[j].linked;
    }
    for (std::size_t k = 0; k < batch.size(); ++k) {
        StagedFile& s = batch[k];
        if (!s.backUp || backedUp[k]) continue;
        if (run.backupFoldersReady) {
            // A folder made sure of earlier may have gone since: made sure
            // of again, the backup is written once more.
            run.backupFoldersReady = false;
            run.readyBackupSubfolders.clear();
            makeSlotFolders(files, root, 1, kBackupSlots, s.folders);
            run.backupFoldersReady = static_cast<bool>(s.folders);
            backedUp[k] = makeBackupFolders(files, slotFolder, s.name, run.readyBackupSubfolders);
            if (backedUp[k]) backedUp[k] = files.writeBackup(joinPath(slotFolder, s.name), s.original, s.identity);
        }
        if (!backedUp[k] && !s.folders && !backedUp[k].reason.cause) backedUp[k].because(s.folders.reason);
    }

    // The backups' names made durable, each folder once, before any file
    // is replaced; a backup whose folder cannot be synced counts as none.
    std::vector<std::string> folders;
    std::vector<std::string> folderOf(batch.size());  // of each backup made
    for (std::size_t k = 0; k < batch.size(); ++k) {
        if (!batch[k].backUp || !backedUp[k]) continue;
        folderOf[k] = parentOf(joinPath(slotFolder, batch[k].name));
        if (std::find(folders.begin(), folders.end(), folderOf[k]) == folders.end()) folders.push_back(folderOf[k]);
    }
    for (const std::string& folder : folders) {
        const Status synced = files.syncFolders({folder});
        if (synced) continue;
        for (std::size_t k = 0; k < batch.size(); ++k)
            if (folderOf[k] == folder) backedUp[k] = synced;
    }

    // Nothing is rewritten without its backup copy.
    std::vector<BatchReplacement> replacements;
    std::vector<std::size_t> replacementOf;
    for (std::size_t k = 0; k < batch.size(); ++k) {
        StagedFile& s = batch[k];
        if (!waitsOnWrite(s)) continue;
        if (!backedUp[k]) {
            s.outcome.status = Status::failure(Why::NoBackupCopy).because(backedUp[k].reason);
            s.outcome.code = FailureCode::NoBackup;
            continue;
        }
        if (!s.rewrite) {
            s.outcome.written = s.outcome.original;
            continue;
        }
        BatchReplacement r;
        r.path = s.path;
        r.bytes = &s.bytes;
        r.read = s.identity;
        replacements.push_back(std::move(r));
        replacementOf.push_back(k);
    }
    for (const std::size_t k : replacementOf) batch[k].outcome.written = fingerprintOf(batch[k].bytes);
    Status recorded;
    if (!replacements.empty() && beforeReplacing) recorded = beforeReplacing(replacementOf);
    if (!recorded) {
        for (BatchReplacement& r : replacements)
            r.status = Status::failure(Why::NotRecorded).because(recorded.reason);
    } else if (!replacements.empty()) {
        files.replaceFiles(replacements);
    }
    for (std::size_t j = 0; j < replacements.size(); ++j) {
        StagedFile& s = batch[replacementOf[j]];
        s.outcome.status = replacements[j].status;
        if (s.outcome.status) continue;
        s.outcome.written = {};
        s.outcome.code = recorded ? FailureCode::NotWritten : FailureCode::NoBackup;
        // A file left as it was must not share its inode with its backup:
        // the backup becomes a copy of the bytes read.
        if (linked[replacementOf[j]])
            (void)files.writeBackup(joinPath(slotFolder, s.name), s.original, s.identity);
    }
}

FileOutcome chuli(const std::string& fn, SessionState& session, RunCounters& run, const FormatOptions& options,
                  FileSystem& files, SettingsStore& settings, const std::string& runName,
                  const PipelineOptions& pipeline, PreparedFile* prepared) {
    std::vector<StagedFile> one;
    one.push_back(stageFile(fn, session, run, options, files, settings, runName, pipeline, prepared));
    commitFiles(one, session, run, files);
    return std::move(one[0].outcome);
}

}  // namespace codekiln
