// The restore and the slot listing as codekiln-cli prints them: one line per
// file or slot, times in local time, the reason after every file left alone.
#include "cli/cli_restore.h"

#include <QDateTime>
#include <QString>
#include <string>

#include "platform/file_names.h"
#include "platform/qt_platform.h"
#include "run/backup_slots.h"
#include "run/chuli.h"
#include "run/reason_text.h"
#include "run/restore.h"

namespace codekiln {

namespace {

std::string localTime(std::int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
}

QtPlatformOptions platformFor(const CliOptions& options) {
    QtPlatformOptions platformOptions;
    platformOptions.backupRoot = options.backupDir;
    return platformOptions;
}

// The last run of a backup root is the newest run its manifests record; the
// stored slot, shared by every root, only speaks for slots without manifests.
int lastRunSlot(FileSystem& files, SettingsStore& settings) {
    const int recorded = lastRecordedSlot(files);
    return recorded != 0 ? recorded : readStoredSlot(settings);
}

std::string plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The modern layout and its width, as a listing names a run written in it;
// nothing for the classic layout, the one every run used before.
std::string layoutNote(const FormatOptions& options) {
    if (options.style != LayoutStyle::Modern) return {};
    return "modern layout, indent " + std::to_string(options.indentWidth);
}

}  // namespace

CliResult runRestoreMode(const CliOptions& options, std::FILE* out, std::FILE* err) {
    QtPlatform platform(platformFor(options));
    RestoreRequest request;
    request.slot = options.slot != 0 ? options.slot : lastRunSlot(platform, platform);
    if (request.slot == 0) {
        std::fprintf(err, "codekiln-cli: no run is recorded yet; name the SLOT to restore\n");
        return CliResult::UsageError;
    }
    if (!options.paths.empty()) request.folder = options.paths.front();
    request.force = options.force;
    request.dryRun = options.dryRun;
    request.lockWaitMilliseconds = kRestoreLockWaitMilliseconds;
    request.jobs = options.jobs;

    const RestoreReport report = restoreSlot(request, platform);
    if (!report.status) {
        std::fprintf(err, "codekiln-cli: %s; nothing restored\n", englishText(report.status).c_str());
        return CliResult::FilesFailed;
    }
    const std::string slotName = backupFolderName(request.slot);
    if (report.unfinished && report.manifest.journaled) {
        std::fprintf(out, "%s: the run of %s over %s did not finish; the %s it had begun to replace\n",
                     slotName.c_str(), localTime(report.manifest.startedMs).c_str(),
                     escapedName(report.folder).c_str(),
                     plural(report.manifest.files.size(), "file", "files").c_str());
    } else if (report.unfinished) {
        std::fprintf(out, "%s: the run of %s over %s did not finish; same-named files of %s\n", slotName.c_str(),
                     localTime(report.manifest.startedMs).c_str(), escapedName(report.manifest.folder).c_str(),
                     escapedName(report.folder).c_str());
    } else if (report.hasManifest) {
        const std::string layout = layoutNote(report.manifest.options);
        std::fprintf(out, "%s: the run of %s over %s (%s%s)\n", slotName.c_str(),
                     localTime(report.manifest.startedMs).c_str(), escapedName(report.folder).c_str(),
                     plural(report.manifest.files.size(), "file", "files").c_str(),
                     layout.empty() ? "" : (", " + layout).c_str());
    } else {
        std::fprintf(out, "%s: no manifest; same-named files of %s\n", slotName.c_str(),
                     escapedName(report.folder).c_str());
    }
    std::size_t restored = 0, leftAlone = 0, original = 0;
    for (const RestoreItem& item : report.items) {
        std::string line;
        const std::string path = escapedName(item.path);  // names as bytes; shown with \xNN escapes
        switch (item.action) {
            case RestoreAction::Restored:
                ++restored;
                line = (options.dryRun ? "would restore " : "restored      ") + path;
                if (!item.reason.empty()) line += " (" + item.reason + ")";
                if (!item.keptAs.empty())
                    line += "; its text before the restore " +
                            std::string(options.dryRun ? "would be" : "is") + " kept as " + escapedName(item.keptAs);
                break;
            case RestoreAction::AlreadyOriginal:
                ++original;
                line = "original      " + path;
                break;
            case RestoreAction::LeftAlone:
                ++leftAlone;
                line = "left alone    " + path + ": " + item.reason;
                break;
        }
        std::fprintf(out, "%s\n", line.c_str());
    }
    std::fprintf(out, "%zu %s, %zu left alone, %zu already the original%s\n", restored,
                 options.dryRun ? "would be restored" : "restored", leftAlone, original,
                 options.dryRun ? "; dry run: nothing changed" : "");
    return leftAlone == 0 ? CliResult::Success : CliResult::FilesFailed;
}

CliResult runListBackupsMode(const CliOptions& options, std::FILE* out) {
    QtPlatform platform(platformFor(options));
    const int last = lastRunSlot(platform, platform);
    for (const SlotListing& slot : listBackupSlots(platform)) {
        std::string line = backupFolderName(slot.slot) + "  ";
        switch (slot.state) {
            case SlotListing::State::Empty:
                line += "empty";
                break;
            case SlotListing::State::NoManifest:
                line += "copies without a manifest (an older run, or one that did not finish): --restore needs --force and a FOLDER";
                break;
            case SlotListing::State::Unfinished:
                line += localTime(slot.manifest.startedMs) + "  " + escapedName(slot.manifest.folder) +
                        "  did not finish: --restore " + std::to_string(slot.slot) +
                        (slot.manifest.journaled ? " puts back the files it formatted"
                                                 : " --force puts its copies back");
                break;
            case SlotListing::State::Damaged:
                line += "cannot be restored: " + slot.problem;
                break;
            case SlotListing::State::Clean:
            case SlotListing::State::Changed:
                line +=
                    localTime(slot.manifest.startedMs) + "  " + escapedName(slot.manifest.folder) + "  " +
                    plural(slot.manifest.files.size(), "file", "files") + "  " +
                    (layoutNote(slot.manifest.options).empty() ? std::string()
                                                               : layoutNote(slot.manifest.options) + "  ") +
                    (slot.changed == 0 ? std::string("can be restored cleanly")
                                       : plural(slot.changed, "file", "files") + " changed since the run");
                break;
        }
        if (slot.slot == last) line += "  (last run)";
        std::fprintf(out, "%s\n", line.c_str());
    }
    return CliResult::Success;
}

}  // namespace codekiln
