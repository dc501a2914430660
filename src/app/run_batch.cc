// `runBatch`: the whole "处理代码" job. The extension warning is decided on
// the text exactly as typed; the extension is then trimmed, the slot
// advanced, every matching file listed before any is touched, each one
// formatted in turn, and the summary built from the session's counters.
#include "app/run_batch.h"

#include "format/chuli.h"
#include "state/text.h"

namespace codekiln {

const std::string kExtensionWarning =
    "您要格式化的文件为非自由格式(非f90格式)\r\n格式化后可能会导致程序无法正常运行，是否要继续格式化?";
const std::string kMissingExtension = "请选择文件类型";

namespace {

const char* const kFreeFormExtension = ".f90";
const char* const kFailedHeading = "\r\n以下文件未能格式化，原文件保持不变：";

std::string summaryText(const SessionState& state, const std::vector<FileFailure>& failures,
                        long long stopped) {
    std::string names;
    for (std::int64_t i = 0; i < state.fileCount; ++i) {
        names += ",";
        names += state.processedNames[static_cast<std::size_t>(i)];
    }
    std::string text = "本次共处理代码" + std::to_string(state.totalLines) + "行，文件" +
                       std::to_string(state.fileCount) + "个，分别为" + names + "，本次运行备份文件在备份" +
                       std::to_string(state.backupSlot) + "文件夹中";
    if (!failures.empty()) {
        text += kFailedHeading;
        for (const FileFailure& failure : failures) text += "," + failure.name;
    }
    if (stopped > 0) text += "\r\n处理已取消，其余" + std::to_string(stopped) + "个匹配的文件未改动";
    return text;
}

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

BatchOutcome runBatch(const std::string& extensionText, const std::string& folder, SessionState& state,
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

    state.totalLines = 0;
    state.backupSlot = state.backupSlot >= 5 ? 1 : state.backupSlot + 1;
    state.fileCount = 0;
    state.processedNames.clear();

    std::vector<std::string> found;
    const Status listed = platform.listFiles(folder, extension, found);
    if (!listed) outcome.listingError = listed.message;

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
        const Status status = chuli(folder + kPathSeparator + name, state, options, platform);
        state.totalLines += state.lineCount;
        if (!status) outcome.failures.push_back({name, status.message});
    }
    ui.progress(total, total, {});

    outcome.message = summaryText(state, outcome.failures, outcome.stopped);
    outcome.end = BatchEnd::Completed;
    ui.messageOkWithDetails(outcome.message, failureDetails(outcome.failures));
    return outcome;
}

}  // namespace codekiln
