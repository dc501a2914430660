// `runBatch`: the whole "处理代码" job. The extension warning is decided on
// the text exactly as typed; the extension is then trimmed, the slot
// advanced, every matching file listed before any is touched, each one
// formatted in turn, and the summary built from the session's counters.
// The run holds its backup root for itself from before the slot is read
// until its summary is out.
#include "run/run_batch.h"

#include <optional>
#include <set>

#include "platform/file_names.h"
#include "platform/paths.h"
#include "run/chuli.h"
#include "run/backup_slots.h"
#include "run/read_ahead.h"
#include "run/run_record.h"
#include "engine/state/text.h"

namespace codekiln {

const std::string kBackupRootUnavailable = "无法使用备份文件夹，本次未处理任何文件：\r\n";
const std::string kSlotNotStored = "无法保存备份文件夹编号，本次未处理任何文件：\r\n";

namespace {

const char* const kFreeFormExtension = ".f90";

/// How long a run waits for another run on the same backup root to finish.
constexpr int kLockWaitMilliseconds = 5000;

/// The most files, and bytes read and to be written, a batch holds.
constexpr std::size_t kBatchFiles = 64;
constexpr std::size_t kBatchBytes = 8u << 20;

void notStarted(BatchOutcome& outcome, const std::string& message, UserInterface& ui) {
    outcome.end = BatchEnd::NotStarted;
    outcome.message = message;
    outcome.lock.reset();
    ui.messageOk(message);
}

/// Why each failed file failed, one per line, for the summary's details:
/// the name, then the reason. A reason that starts with the file's own path
/// in `folder` has it left out, as the name already says which file; the
/// path of a backup copy stays.
std::string failureDetails(const std::vector<FileFailure>& failures, const std::string& folder,
                           UserInterface& ui) {
    std::string details;
    for (const FileFailure& failure : failures) {
        if (!details.empty()) details += "\r\n";
        std::string reason = ui.reasonText(failure.reason);
        for (const std::string& own : {folder + kPathSeparator + failure.name + ": ",
                                       escapedName(folder) + kPathSeparator + failure.name + ": "}) {
            if (reason.rfind(own, 0) != 0) continue;
            reason.erase(0, own.size());
            break;
        }
        details += failure.name + "：" + reason;
    }
    return details;
}

}  // namespace

BatchEnd confirmExtension(const std::string& extensionText, bool needExtension, UserInterface& ui,
                          std::string& extension, std::string& message) {
    if (extensionText != kFreeFormExtension && !ui.messageYesNo(kExtensionWarning)) return BatchEnd::Cancelled;
    extension = std::string(trimBlanks(extensionText));
    if (extension.empty() && needExtension) {
        ui.messageOk(kMissingExtension);
        message = kMissingExtension;
        return BatchEnd::MissingExtension;
    }
    return BatchEnd::Completed;
}

BatchOutcome runBatch(const std::string& extensionText, const std::string& folder, SessionState& session,
                      const FormatOptions& options, FileSystem& fileSystem, SettingsStore& settings,
                      UserInterface& ui, int jobs) {
    BatchOutcome outcome;
    std::string extension;
    outcome.end = confirmExtension(extensionText, true, ui, extension, outcome.message);
    if (outcome.end != BatchEnd::Completed) return outcome;

    std::vector<std::string> found;
    const Status listed = fileSystem.listFiles(folder, extension, found);
    std::vector<RunFile> files;
    files.reserve(found.size());
    // One separator between folder and name, even after a root's own.
    for (std::string& name : found) files.push_back({joinPath(folder, name), std::move(name)});
    PipelineOptions pipeline;
    pipeline.jobs = jobs;
    outcome = runFiles(files, folder, extension, session, options, pipeline, fileSystem, settings, ui);
    outcome.listed = listed;
    return outcome;
}

BatchOutcome runFiles(const std::vector<RunFile>& files, const std::string& folder, const std::string& extension,
                      SessionState& session, const FormatOptions& options, const PipelineOptions& pipeline,
                      FileSystem& fileSystem, SettingsStore& settings, UserInterface& ui) {
    BatchOutcome outcome;
    RunCounters run;
    // One run at a time per backup root: the slot is read, advanced and
    // stored under the lock, before any file is touched, and the lock is held
    // until the summary is out (the outcome carries it to the front end).
    Status locked = fileSystem.lockBackupRoot(kLockWaitMilliseconds, outcome.lock);
    if (!locked) {
        notStarted(outcome, kBackupRootUnavailable + englishText(locked), ui);
        return outcome;
    }
    // The store is the one record all programs share; this session's own
    // count only stands in while nothing is stored.
    const std::string stored = settings.readSetting(kSlotSection, kSlotKey);
    const bool countOn = stored.empty() || session.unstoredOver == stored;
    const int slot = nextBackupSlot(countOn ? session.backupSlot : readStoredSlot(settings, session.backupSlot));
    // A run that finds no file backs nothing up: the stored slot stays.
    if (files.empty()) {
        session.unstoredOver = stored;
    } else {
        const Status slotStored = storeSlot(settings, slot);
        if (!slotStored) {
            notStarted(outcome, kSlotNotStored + englishText(slotStored), ui);
            return outcome;
        }
        session.unstoredOver.reset();
    }
    session.backupSlot = slot;

    // What a run killed between writing and renaming left behind, in every
    // folder this run writes to.
    std::set<std::string> folders{slotFolderPath(fileSystem, slot)};
    for (const RunFile& file : files) folders.insert(parentOf(file.path));
    for (const std::string& written : folders) fileSystem.removeStaleTemporaries(written);

    RunRecord record(folder, extension, options, session.backupSlot, fileSystem);
    // A stale manifest that cannot be removed is replaced at the end.
    if (!files.empty()) (void)record.begin();

    // With several jobs, workers look at, read and format the files ahead
    // of their turn; this thread alone then backs up, rewrites, counts and
    // reports each file in the list's order, exactly as one job does. Each
    // file is formatted ahead from the record the last file done left (the
    // likeliest record it receives); a file whose record turns out another
    // is formatted again at its turn.
    const int jobs = pipeline.jobs > 0 ? pipeline.jobs : defaultJobs();
    RecordHint hint(session.doLabels);
    std::unique_ptr<ReadAhead<PreparedFile>> ahead;
    if (jobs > 1 && files.size() > 1 && fileSystem.concurrentReads()) {
        ahead = std::make_unique<ReadAhead<PreparedFile>>(
            files.size(), jobs, 4 * static_cast<std::size_t>(jobs),
            [&](std::size_t i) { return prepareFile(files[i].path, options, fileSystem, pipeline, hint.get()); });
    }

    // Files are committed in batches: their backups made durable together,
    // then their new texts, so that a run waits on the disk once per batch
    // rather than twice per file. What each file gets, and what is counted,
    // reported and recorded for it, is what it gets alone.
    std::vector<StagedFile> batch;
    std::vector<std::string> places;
    std::set<std::string> batchNames;  // a backup's name once per batch
    std::size_t batchBytes = 0;
    const BeforeReplacing journal = [&](const std::vector<std::size_t>& replacing) {
        std::vector<ManifestFile> entries;
        entries.reserve(replacing.size());
        for (const std::size_t k : replacing)
            entries.push_back(RunRecord::replacing(batch[k].name, places[k], batch[k].outcome));
        return record.journal(entries);
    };
    const auto commit = [&] {
        commitFiles(batch, session, run, fileSystem, journal);
        for (std::size_t k = 0; k < batch.size(); ++k) {
            const StagedFile& staged = batch[k];
            const FileOutcome& done = staged.outcome;
            record.add(staged.name, places[k], done);
            for (const StructureWarning& warning : done.warnings)
                outcome.warnings.push_back(warningText(escapedName(staged.name), warning));
            if (!done.status) outcome.failures.push_back({escapedName(staged.name), done.status.reason});
            FileReport report{escapedName(staged.name),  escapedName(staged.path), FileEnd::Failed, done.code,
                              englishText(done.status), done.sameFile,            done.lineCount};
            if (done.status) report.end = done.written == done.original ? FileEnd::Unchanged : FileEnd::Formatted;
            outcome.files.push_back(std::move(report));
        }
        batch.clear();
        places.clear();
        batchNames.clear();
        batchBytes = 0;
    };

    const auto total = static_cast<long long>(files.size());
    for (long long i = 0; i < total; ++i) {
        const RunFile& file = files[static_cast<std::size_t>(i)];
        ui.progress(i, total, escapedName(file.name));
        // Stopped between two files: the ones taken are done, the rest untouched.
        if (ui.stopRequested()) {
            outcome.stopped = total - i;
            break;
        }
        PipelineOptions filePipeline = pipeline;
        if (file.keep) filePipeline.keep = file.keep;
        // Two files of one name would share a backup: the first one is
        // committed before the second one's backup replaces its own.
        const std::string backupName = runNameOf(file.path, file.name);
        if (!batchNames.insert(backupName).second) {
            commit();
            batchNames.insert(backupName);
        }
        places.push_back(record.placeOf(file.path, file.name));
        std::optional<PreparedFile> prepared;
        if (ahead) prepared.emplace(ahead->take(static_cast<std::size_t>(i)));
        batch.push_back(stageFile(file.path, session, run, options, fileSystem, settings, file.name, filePipeline,
                                  prepared ? &*prepared : nullptr));
        if (ahead) hint.set(session.doLabels);
        run.totalLines += batch.back().outcome.lineCount;
        batchBytes += batch.back().original.size() + batch.back().bytes.size();
        if (batch.size() >= kBatchFiles || batchBytes >= kBatchBytes) commit();
    }
    commit();
    // A stopped run leaves the files not yet done untouched: the workers
    // only ever read.
    if (ahead) ahead->stop();
    ui.progress(total, total, {});
    const Status kept = record.finish();
    if (!kept)
        outcome.manifestError = englishText(Status::failure(Why::ManifestNotKept).because(kept.reason));

    outcome.message = summaryText(run, session.backupSlot, outcome.failures, outcome.stopped);
    outcome.end = BatchEnd::Completed;
    ui.messageOkWithDetails(outcome.message, failureDetails(outcome.failures, folder, ui));
    return outcome;
}

}  // namespace codekiln
