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

BatchOutcome runBatch(const std::string& extensionText, const std::string& folder, SessionState& session,
                      const FormatOptions& options, Platform& platform, UserInterface& ui) {
    BatchOutcome outcome;
    if (extensionText != kFreeFormExtension && !ui.messageYesNo(kExtensionWarning)) {
        outcome.end = BatchEnd::Cancelled;
        return outcome;
    }
    const std::string extension(trimBlanks(extensionText));
    if (extension.empty()) {
        ui.messageOk(kMissingExtension);
        outcome.end = BatchEnd::MissingExtension;
        outcome.message = kMissingExtension;
        return outcome;
    }

    RunCounters run;
    session.backupSlot = session.backupSlot >= 5 ? 1 : session.backupSlot + 1;

    std::vector<std::string> found;
    const Status listed = platform.listFiles(folder, extension, found);
    if (!listed) outcome.listingError = listed.message;

    RunRecord record(folder, extension, options, session.backupSlot, platform);
    // A stale manifest that cannot be removed is replaced at the end.
    if (!found.empty()) (void)record.begin();

    const auto total = static_cast<long long>(found.size());
    for (long long i = 0; i < total; ++i) {
        const std::string& name = found[static_cast<std::size_t>(i)];
        ui.progress(i, total, name);
        // Stopped between two files: the ones done stay done, the rest untouched.
        if (ui.stopRequested()) {
            outcome.stopped = total - i;
            break;
        }
        // One separator between folder and name, even after a root's own.
        const FileOutcome file = chuli(folder + kPathSeparator + name, session, run, options, platform);
        run.totalLines += file.lineCount;
        record.add(name, file);
        if (!file.status) outcome.failures.push_back({name, file.status.message});
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
