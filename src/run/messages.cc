// The run's messages, exactly as the user sees them.
#include "run/messages.h"

namespace codekiln {

const std::string kExtensionWarning =
    "您要格式化的文件为非自由格式(非f90格式)\r\n格式化后可能会导致程序无法正常运行，是否要继续格式化?";
const std::string kMissingExtension = "请选择文件类型";

namespace {

const char* const kFailedHeading = "\r\n以下文件未能格式化，原文件保持不变：";
const char* const kSummaryStart = "本次共处理代码";
const char* const kNamesStart = "，分别为";
const char* const kBackupStart = "，本次运行备份文件在备份";

}  // namespace

std::string summaryText(const RunCounters& run, int backupSlot, const std::vector<FileFailure>& failures,
                        long long stopped) {
    std::string names;
    for (std::int64_t i = 0; i < run.fileCount; ++i) {
        names += ",";
        names += run.processedNames[static_cast<std::size_t>(i)];
    }
    std::string text = kSummaryStart + std::to_string(run.totalLines) + "行，文件" +
                       std::to_string(run.fileCount) + "个" + kNamesStart + names + kBackupStart +
                       std::to_string(backupSlot) + "文件夹中";
    if (!failures.empty()) {
        text += kFailedHeading;
        // Commas between the names: the heading's colon is the list's start.
        for (std::size_t i = 0; i < failures.size(); ++i) text += (i == 0 ? "" : ",") + failures[i].name;
    }
    if (stopped > 0) text += "\r\n处理已取消，其余" + std::to_string(stopped) + "个匹配的文件未改动";
    return text;
}

std::string summaryHeadline(const std::string& summary) {
    if (summary.rfind(kSummaryStart, 0) != 0) return {};
    const std::size_t names = summary.find(kNamesStart);
    // The backup folder ends the first line; a name may hold the same words.
    const std::size_t backup = summary.rfind(kBackupStart, summary.find("\r\n"));
    if (names == std::string::npos || backup == std::string::npos || backup < names) return {};
    return summary.substr(0, names) + summary.substr(backup);
}

}  // namespace codekiln
