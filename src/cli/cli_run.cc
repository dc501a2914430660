// The three modes of codekiln-cli. A batch run goes through `runBatch`
// exactly as the window's "处理代码" does, starting from the slot the
// settings store holds; --stdout and --check send each file through the same
// pipeline as the batch run (decode, format, safety check, encode) in memory
// and touch neither files, backups nor settings.
#include "cli/cli_run.h"

#include <QFileInfo>
#include <QString>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_restore.h"
#include "cli/terminal_ui.h"
#include "platform/file_names.h"
#include "platform/paths.h"
#include "platform/qt_platform.h"
#include "run/chuli.h"
#include "run/pipeline.h"
#include "run/run_batch.h"
#include "run/settings.h"
#include "state/text.h"

namespace codekiln {

namespace {

bool isFolder(const std::string& path) { return QFileInfo(QString::fromStdString(path)).isDir(); }

bool isFile(const std::string& path) { return QFileInfo(QString::fromStdString(path)).isFile(); }

void report(std::FILE* err, const std::string& message) {
    std::fprintf(err, "codekiln-cli: %s\n", message.c_str());
}

Status readAll(std::FILE* in, std::string& bytes) {
    bytes.clear();
    char buffer[65536];
    for (;;) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, in);
        bytes.append(buffer, n);
        if (n < sizeof buffer) break;
    }
    if (std::ferror(in)) return Status::failure("standard input: cannot read");
    return Status::success();
}

CliResult runBatchMode(const CliOptions& options, std::FILE* in, std::FILE* out, std::FILE* err) {
    const std::string folder = withoutTrailingSeparators(options.paths.front());
    if (!isFolder(folder)) {
        report(err, escapedName(folder) + ": not a folder");
        return CliResult::UsageError;
    }
    QtPlatformOptions platformOptions;
    platformOptions.encoding = options.encoding;
    platformOptions.backupRoot = options.backupDir;
    QtPlatform platform(platformOptions);

    // A fresh program start: the slot comes from the settings store.
    SessionState session;
    session.backupSlot = readStoredSlot(platform);

    TerminalUi ui(options.yes, in, err);
    const BatchOutcome outcome = runBatch(options.extensionText, folder, session, options.format, platform, ui);
    switch (outcome.end) {
        case BatchEnd::Cancelled:
            if (ui.unanswered()) {
                std::fprintf(err, "%s\n", terminalText(kExtensionWarning).c_str());
                report(err, "no terminal to answer the warning on; pass --yes to go on");
            }
            return CliResult::Cancelled;
        case BatchEnd::MissingExtension:
            report(err, outcome.message);
            return CliResult::MissingExtension;
        case BatchEnd::NotStarted:
            report(err, terminalText(outcome.message));
            return CliResult::FilesFailed;
        case BatchEnd::Completed:
            break;
    }
    // The summary is the only record of which backup folder holds this run's
    // copies: a run that cannot put it out has failed.
    const bool summaryOut = std::fprintf(out, "%s\n", terminalText(outcome.message).c_str()) >= 0 &&
                            std::fflush(out) == 0 && !std::ferror(out);
    if (!summaryOut)
        report(err, "standard output: cannot write the summary; this run's backups are in " +
                        platform.backupRoot() + kPathSeparator + backupFolderName(session.backupSlot));
    if (!outcome.listingError.empty()) report(err, outcome.listingError);
    for (const FileFailure& failure : outcome.failures) report(err, failure.reason);
    if (!outcome.manifestError.empty()) report(err, outcome.manifestError);
    const bool clean = outcome.failures.empty() && outcome.listingError.empty() && outcome.manifestError.empty();
    return summaryOut && clean ? CliResult::Success : CliResult::FilesFailed;
}

CliResult runStdoutMode(const CliOptions& options, std::FILE* in, std::FILE* out, std::FILE* err) {
    const std::string& path = options.paths.front();
    QtPlatformOptions platformOptions;
    platformOptions.encoding = options.encoding;
    QtPlatform platform(platformOptions);
    std::string bytes;
    Status status;
    if (path == "-") {
        status = readAll(in, bytes);
    } else if (!isFile(path)) {
        report(err, escapedName(path) + ": not a file");
        return CliResult::UsageError;
    } else {
        status = platform.readFile(path, bytes);
    }
    if (!status) {
        report(err, status.message);
        return CliResult::FilesFailed;
    }
    DoLabelRecord doLabels;
    const PipelineResult result =
        formatFileBytes(std::move(bytes), path == "-" ? "standard input" : escapedName(path), options.format,
                        doLabels, platform);
    if (!result.formatted()) {
        report(err, result.reason);  // nothing on standard output: a refused text is never shown as the result
        return CliResult::FilesFailed;
    }
    if (std::fwrite(result.bytes.data(), 1, result.bytes.size(), out) != result.bytes.size() ||
        std::fflush(out) != 0) {
        report(err, "standard output: cannot write");
        return CliResult::FilesFailed;
    }
    return CliResult::Success;
}

CliResult runCheckMode(const CliOptions& options, std::FILE* out, std::FILE* err) {
    const std::string extension(trimBlanks(options.extensionText));
    bool anyFolder = false;
    for (const std::string& path : options.paths) {
        if (isFolder(path)) {
            anyFolder = true;
        } else if (!isFile(path)) {
            report(err, escapedName(path) + ": no such file or folder");
            return CliResult::UsageError;
        }
    }
    if (anyFolder && extension.empty()) {
        report(err, kMissingExtension);
        return CliResult::MissingExtension;
    }

    QtPlatformOptions platformOptions;
    platformOptions.encoding = options.encoding;
    QtPlatform platform(platformOptions);
    // Every file in run order, folders expanded in their listing order.
    std::vector<std::string> files;
    bool failed = false;
    for (const std::string& path : options.paths) {
        if (!isFolder(path)) {
            files.push_back(path);
            continue;
        }
        const std::string folder = withoutTrailingSeparators(path);
        std::vector<std::string> names;
        const Status listed = platform.listFiles(folder, extension, names);
        if (!listed) {
            report(err, listed.message);
            failed = true;
        }
        for (const std::string& name : names) files.push_back(folder + kPathSeparator + name);
    }

    // The files are checked as the files of one run: the labelled-DO record
    // carries from each to the next, as it does when they are formatted.
    DoLabelRecord doLabels;
    std::vector<std::string> changed;
    std::vector<std::string> refused;
    for (const std::string& file : files) {
        std::string bytes;
        const Status status = platform.readFile(file, bytes);
        if (!status) {
            report(err, status.message);
            failed = true;
            continue;
        }
        const PipelineResult result =
            formatFileBytes(bytes, escapedName(file), options.format, doLabels, platform);
        if (!result.formatted()) {
            report(err, result.reason);
            refused.push_back(file);
        } else if (result.bytes != bytes) {
            changed.push_back(file);
        }
    }
    for (const std::string& file : changed) std::fprintf(out, "%s\n", escapedName(file).c_str());
    if (!refused.empty()) {
        std::fprintf(out, "would not be formatted (left unchanged by a run):\n");
        for (const std::string& file : refused) std::fprintf(out, "%s\n", escapedName(file).c_str());
    }
    if (failed || !refused.empty()) return CliResult::FilesFailed;
    return changed.empty() ? CliResult::Success : CliResult::ChangesFound;
}

}  // namespace

int exitCodeFor(CliResult result) {
    switch (result) {
        case CliResult::Success:
            return 0;
        case CliResult::FilesFailed:
        case CliResult::ChangesFound:
            return 1;
        case CliResult::UsageError:
        case CliResult::Cancelled:
        case CliResult::MissingExtension:
            return 2;
    }
    return 2;
}

CliResult runCli(const CliOptions& options, std::FILE* in, std::FILE* out, std::FILE* err) {
    switch (options.mode) {
        case CliMode::Batch:
            return runBatchMode(options, in, out, err);
        case CliMode::Stdout:
            return runStdoutMode(options, in, out, err);
        case CliMode::Check:
            return runCheckMode(options, out, err);
        case CliMode::Restore:
            return runRestoreMode(options, out, err);
        case CliMode::ListBackups:
            return runListBackupsMode(options, out);
    }
    return CliResult::UsageError;
}

}  // namespace codekiln
