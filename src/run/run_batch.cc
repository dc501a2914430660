// `runBatch`: the whole "处理代码" job. The extension warning is decided on
// the text exactly as typed; the extension is then trimmed, the slot
// advanced, every matching file listed before any is touched, each one
// formatted in turn, and the summary built from the session's counters.
#include "run/run_batch.h"

#include "run/chuli.h"
#include "run/run_record.h"
#include "state/text.h"

namespace codekiln {

namespace {

const char* const kFreeFormExtension = ".f90";

/// Why each failed file failed, one per line, for the summary's details.
std::string failureDetails(const std::vector<FileFailure>& failures) {
    std::string details;
    for (const FileFailure& failure : failures) {
        if (!details.empty()) details += "\r\n";
        details += failure.name + "：" + failure.reason;
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
                      const FormatOptions& options, Platform& platform, UserInterface& ui) {
    BatchOutcome outcome;
    std::string extension;
    outcome.end = confirmExtension(extensionText, true, ui, extension, outcome.message);
    if (outcome.end != BatchEnd::Completed) return outcome;

    std::vector<std::string> found;
    const Status listed = platform.listFiles(folder, extension, found);
    std::vector<RunFile> files;
    files.reserve(found.size());
    // One separator between folder and name, even after a root's own.
    for (std::string& name : found) files.push_back({folder + kPathSeparator + name, std::move(name)});
    outcome = runFiles(files, folder, extension, session, options, PipelineOptions{}, platform, ui);
    if (!listed) outcome.listingError = listed.message;
    return outcome;
}

BatchOutcome runFiles(const std::vector<RunFile>& files, const std::string& folder, const std::string& extension,
                      SessionState& session, const FormatOptions& options, const PipelineOptions& pipeline,
                      Platform& platform, UserInterface& ui) {
    BatchOutcome outcome;
    RunCounters run;
    session.backupSlot = session.backupSlot >= 5 ? 1 : session.backupSlot + 1;

    RunRecord record(folder, extension, options, session.backupSlot, platform);
    // A stale manifest that cannot be removed is replaced at the end.
    if (!files.empty()) (void)record.begin();

    const auto total = static_cast<long long>(files.size());
    for (long long i = 0; i < total; ++i) {
        const RunFile& file = files[static_cast<std::size_t>(i)];
        ui.progress(i, total, file.name);
        // Stopped between two files: the ones done stay done, the rest untouched.
        if (ui.stopRequested()) {
            outcome.stopped = total - i;
            break;
        }
        const FileOutcome done = chuli(file.path, session, run, options, platform, file.name, pipeline);
        run.totalLines += done.lineCount;
        record.add(file.name, done);
        if (!done.status) outcome.failures.push_back({file.name, done.status.message});
    }
    ui.progress(total, total, {});
    const Status kept = record.finish();
    if (!kept) outcome.manifestError = kept.message + "; the run cannot be undone with --restore";

    outcome.message = summaryText(run, session.backupSlot, outcome.failures, outcome.stopped);
    outcome.end = BatchEnd::Completed;
    ui.messageOkWithDetails(outcome.message, failureDetails(outcome.failures));
    return outcome;
}

}  // namespace codekiln
