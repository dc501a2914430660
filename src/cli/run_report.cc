// The report through QJsonDocument, so that every name and message is
// quoted and escaped as JSON wants it.
#include "cli/run_report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include "cli/terminal_ui.h"
#include "platform/file_names.h"
#include "run/backup_slots.h"

namespace codekiln {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

const char* endName(BatchEnd end) {
    switch (end) {
        case BatchEnd::Completed:
            return "completed";
        case BatchEnd::NotStarted:
            return "not-started";
        case BatchEnd::Cancelled:
            return "cancelled";
        case BatchEnd::MissingExtension:
            return "missing-extension";
    }
    return "not-started";
}

const char* outcomeName(FileEnd end) {
    switch (end) {
        case FileEnd::Formatted:
            return "formatted";
        case FileEnd::Unchanged:
            return "unchanged";
        case FileEnd::Failed:
            return "refused";
    }
    return "refused";
}

QJsonArray texts(const std::vector<std::string>& lines) {
    QJsonArray array;
    for (const std::string& line : lines) array.append(qs(line));
    return array;
}

}  // namespace

std::string runReportJson(const BatchOutcome& outcome, const RunReportContext& context) {
    QJsonObject report{{"end", endName(outcome.end)}};
    if (outcome.end != BatchEnd::Completed && !outcome.message.empty())
        report.insert("message", qs(terminalText(outcome.message)));
    if (outcome.end == BatchEnd::Completed && context.backupSlot != 0) {
        report.insert("backupSlot", context.backupSlot);
        report.insert("backupFolder",
                      qs(backupFolderPath(context.backupRoot, context.backupSlot)));
    }
    QJsonArray files;
    double counts[3] = {0, 0, 0};
    double lines = 0;
    for (const FileReport& file : outcome.files) {
        QJsonObject entry{{"name", qs(file.name)},
                          {"path", qs(file.path)},
                          {"outcome", outcomeName(file.end)},
                          {"lines", static_cast<double>(file.lineCount)}};
        if (file.end == FileEnd::Failed) {
            entry.insert("reason", failureCodeName(file.code));
            entry.insert("message", qs(file.reason));
        }
        if (file.sameFile) entry.insert("sameFile", true);
        files.append(entry);
        counts[static_cast<int>(file.end)] += 1;
        lines += static_cast<double>(file.lineCount);
    }
    report.insert("files", files);
    report.insert("counts", QJsonObject{{"files", static_cast<double>(outcome.files.size())},
                                        {"formatted", counts[static_cast<int>(FileEnd::Formatted)]},
                                        {"unchanged", counts[static_cast<int>(FileEnd::Unchanged)]},
                                        {"refused", counts[static_cast<int>(FileEnd::Failed)]},
                                        {"lines", lines}});
    report.insert("warnings", texts(outcome.warnings));
    report.insert("errors", texts(context.errors));
    return QJsonDocument(report).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace codekiln
