// The modes of codekiln-cli. A batch run goes through the run the window's
// "处理代码" uses (`runFiles`, after the same extension warning), starting
// from the slot the settings store holds, over the files of its PATHs;
// --stdout, --check and --diff send each file through the same pipeline
// (decode, format, safety check, encode) in memory and touch neither files,
// backups nor settings. The project's settings file, when there is one, sets
// the defaults before any mode starts.
#include "cli/cli_run.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_restore.h"
#include "cli/file_walk.h"
#include "cli/git_changes.h"
#include "cli/line_edits.h"
#include "cli/project_config.h"
#include "cli/run_report.h"
#include "cli/terminal_ui.h"
#include "cli/unified_diff.h"
#include "engine/state/text.h"
#include "platform/memory_pages.h"
#include "platform/file_names.h"
#include "platform/paths.h"
#include "platform/qt_platform.h"
#include "run/backup_slots.h"
#include "run/chuli.h"
#include "run/pipeline.h"
#include "run/read_ahead.h"
#include "run/reason_text.h"
#include "run/run_batch.h"

namespace codekiln {

namespace {

bool isFolder(const std::string& path) { return QFileInfo(QString::fromStdString(path)).isDir(); }

bool isFile(const std::string& path) { return QFileInfo(QString::fromStdString(path)).isFile(); }

void report(std::FILE* err, const std::string& message) {
    std::fprintf(err, "codekiln-cli: %s\n", message.c_str());
}

// The modern layout's block-structure warnings, one line each as compilers
// put them ("a.f90:40: end do closes nothing"); they change no exit code.
void reportWarnings(std::FILE* err, const std::vector<std::string>& warnings) {
    for (const std::string& warning : warnings) std::fprintf(err, "%s\n", warning.c_str());
}

void reportWarnings(std::FILE* err, const std::string& name, const std::vector<StructureWarning>& warnings) {
    for (const StructureWarning& warning : warnings) std::fprintf(err, "%s\n", warningText(name, warning).c_str());
}

// The folder a run's names are relative to, for its manifest: the one
// folder given, a single file's folder, else the current folder (names then
// start with their PATH).
std::string runFolder(const std::vector<std::string>& paths) {
    if (paths.size() == 1 && isFolder(paths.front())) return withoutTrailingSeparators(paths.front());
    if (paths.size() == 1) return QFileInfo(QString::fromStdString(paths.front())).absolutePath().toStdString();
    return QDir::currentPath().toStdString();
}

// Every PATH must be there before anything is touched.
bool pathsExist(const CliOptions& options, std::FILE* err) {
    for (const std::string& path : options.paths) {
        if (!isFolder(path) && !isFile(path)) {
            report(err, path + ": no such file or folder");
            return false;
        }
    }
    return true;
}

bool anyFolder(const CliOptions& options) {
    for (const std::string& path : options.paths)
        if (isFolder(path)) return true;
    return false;
}

// The settings file of the PATHs, applied to `options`. All PATHs of one run
// must fall under the same settings file (or none), as one run has one set
// of options.
Status configStatus(CliOptions& options) {
    if (!options.readConfig) return Status::success();
    std::string config;
    std::string configPath;
    bool first = true;
    for (const std::string& path : options.paths) {
        const QString start = path == "-" && !options.stdinFilename.empty()
                                  ? QFileInfo(QString::fromStdString(options.stdinFilename)).absolutePath()
                              : path == "-"    ? QStringLiteral(".")
                              : isFolder(path) ? QString::fromStdString(path)
                                               : QFileInfo(QString::fromStdString(path)).absolutePath();
        const std::string found = findProjectConfig(start.toStdString());
        if (!first && found != config) {
            return Status::failure(
                Why::DifferentSettings, path, configPath,
                (config.empty() ? "none" : config) + ", " + (found.empty() ? "none" : found));
        }
        if (first) configPath = path;
        config = found;
        first = false;
    }
    if (config.empty()) return Status::success();
    return applyProjectConfig(config, options);
}

bool applyConfig(CliOptions& options, std::FILE* err) {
    const Status applied = configStatus(options);
    if (!applied) report(err, englishText(applied));
    return applied.ok;
}

WalkOptions walkOptions(const CliOptions& options, const std::string& extension, FileSystem& files) {
    WalkOptions walk;
    walk.extension = extension;
    walk.recursive = options.recursive;
    walk.excludes = options.excludes;
    walk.backupRoot = options.backupDir.empty() ? files.backupRoot() : options.backupDir;
    return walk;
}

PipelineOptions pipelineOptions(const CliOptions& options) {
    PipelineOptions pipeline;
    pipeline.untilStable = options.untilStable;
    pipeline.jobs = options.jobs;
    pipeline.encoding = options.encoding;
    return pipeline;
}

Status readAll(std::FILE* in, std::string& bytes) {
    bytes.clear();
    char buffer[65536];
    for (;;) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, in);
        bytes.append(buffer, n);
        if (n < sizeof buffer) break;
    }
    if (std::ferror(in)) return Status::failure(Why::StandardInputUnreadable);
    return Status::success();
}

// Puts out the text on standard output; false when it could not be.
bool putOut(std::FILE* out, const std::string& text) {
    return std::fprintf(out, "%s\n", text.c_str()) >= 0 && std::fflush(out) == 0 && !std::ferror(out);
}

// --json: the report of a run that never reached its files.
CliResult reportUnstarted(const CliOptions& options, BatchEnd end, const std::string& message, CliResult result,
                          std::FILE* out, std::FILE* err) {
    if (!options.json) return result;
    BatchOutcome outcome;
    outcome.end = end;
    outcome.message = message;
    if (!putOut(out, runReportJson(outcome, {}))) report(err, "standard output: cannot write the report");
    return result;
}

CliResult runBatchMode(const CliOptions& options, std::FILE* in, std::FILE* out, std::FILE* err) {
    QtPlatformOptions platformOptions;
    platformOptions.backupRoot = options.backupDir;
    QtPlatform platform(platformOptions);

    // A fresh program start: the slot comes from the settings store.
    SessionState session;
    session.backupSlot = readStoredSlot(platform);

    TerminalUi ui(options.yes, in, err);
    ui.setQuiet(options.quiet || options.json);
    std::string extension;
    std::string message;
    // Files named are taken whatever their extension; only folders need one.
    switch (confirmExtension(options.extensionText, anyFolder(options), ui, extension, message)) {
        case BatchEnd::Cancelled:
            if (ui.unanswered()) {
                std::fprintf(err, "%s\n", terminalText(kExtensionWarning).c_str());
                report(err, "no terminal to answer the warning on; pass --yes to go on");
            }
            return reportUnstarted(options, BatchEnd::Cancelled, {}, CliResult::Cancelled, out, err);
        case BatchEnd::MissingExtension:
            report(err, message);
            return reportUnstarted(options, BatchEnd::MissingExtension, message, CliResult::MissingExtension, out,
                                   err);
        case BatchEnd::NotStarted:  // only a run gives it
        case BatchEnd::Completed:
            break;
    }
    WalkResult found = collectFiles(options.paths, walkOptions(options, extension, platform), platform);
    if (!options.changedSince.empty()) {
        const Status limited = limitToChangedLines(found.files, options.paths, options.changedSince);
        if (!limited) {
            report(err, englishText(limited));
            return CliResult::UsageError;
        }
    }
    const BatchOutcome outcome = runFiles(found.files, runFolder(options.paths), extension, session,
                                          options.format, pipelineOptions(options), platform, platform, ui);
    if (outcome.end == BatchEnd::NotStarted) {
        report(err, terminalText(outcome.message));
        return reportUnstarted(options, BatchEnd::NotStarted, outcome.message, CliResult::FilesFailed, out, err);
    }
    reportWarnings(err, outcome.warnings);
    std::vector<std::string> errors = found.errors;
    if (!outcome.manifestError.empty()) errors.push_back(outcome.manifestError);
    // The summary (or the report) is the only record of which backup folder
    // holds this run's copies: a run that cannot put it out has failed.
    bool summaryOut = true;
    if (options.json) {
        summaryOut = putOut(out, runReportJson(outcome, {platform.backupRoot(), session.backupSlot, errors}));
    } else if (!options.quiet) {
        summaryOut = putOut(out, terminalText(outcome.message));
    }
    if (!summaryOut)
        report(err, std::string("standard output: cannot write the ") + (options.json ? "report" : "summary") +
                        "; this run's backups are in " + slotFolderPath(platform, session.backupSlot));
    for (const std::string& error : found.errors) report(err, error);
    for (const FileFailure& failure : outcome.failures) report(err, englishText(failure.reason));
    if (!outcome.manifestError.empty()) report(err, outcome.manifestError);
    const bool clean = outcome.failures.empty() && errors.empty();
    return summaryOut && clean ? CliResult::Success : CliResult::FilesFailed;
}

CliResult runStdoutMode(const CliOptions& options, std::FILE* in, std::FILE* out, std::FILE* err) {
    const std::string& path = options.paths.front();
    QtPlatform platform;
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
        report(err, englishText(status));
        return CliResult::FilesFailed;
    }
    const std::string name = path != "-"                      ? escapedName(path)
                             : !options.stdinFilename.empty() ? escapedName(options.stdinFilename)
                                                              : std::string("standard input");
    // A large text is checked as it is written, on a second core, and the
    // input's memory goes behind the check: the output and a window of the
    // input are in memory at once, not both whole.
    constexpr std::size_t kAlongsideFrom = 1 << 20;
    const bool alongside = bytes.size() >= kAlongsideFrom;
    const PipelineResult result = formatOneText(options, std::move(bytes), name, alongside);
    reportWarnings(err, name, result.warnings);
    if (!result.formatted()) {
        report(
            err,
            englishText(
                result.reason));  // nothing on standard output: a refused text is never shown as the result
        return CliResult::FilesFailed;
    }
    if (std::fwrite(result.bytes.data(), 1, result.bytes.size(), out) != result.bytes.size() ||
        std::fflush(out) != 0) {
        report(err, "standard output: cannot write");
        return CliResult::FilesFailed;
    }
    return CliResult::Success;
}

// --check and --diff: every file in run order through the pipeline in
// memory. The files are checked as the files of one run: the labelled-DO
// record carries from each to the next, as it does when they are formatted.
CliResult runInspectMode(const CliOptions& options, std::FILE* out, std::FILE* err) {
    const std::string extension(trimBlanks(options.extensionText));
    if (anyFolder(options) && extension.empty()) {
        report(err, kMissingExtension);
        return CliResult::MissingExtension;
    }
    QtPlatform platform;
    const WalkResult found = collectFiles(options.paths, walkOptions(options, extension, platform), platform);
    bool failed = !found.errors.empty();
    for (const std::string& error : found.errors) report(err, error);

    const bool diff = options.mode == CliMode::Diff;
    const bool color =
        options.color == ColorChoice::Always || (options.color == ColorChoice::Auto && isTerminal(out));
    DoLabelRecord doLabels;
    bool changed = false;
    std::vector<std::string> refused;
    // Files are read and formatted ahead on several threads, each from the
    // record the last file reported left; one whose record turns out another
    // is formatted again at its turn. Reports come out in run order.
    struct Inspected {
        Status status;
        std::string bytes;
        DoLabelRecord assumed;
        DoLabelRecord left;
        PipelineResult result;
    };
    const PipelineOptions pipeline = pipelineOptions(options);
    RecordHint hint;
    auto inspect = [&](std::size_t i) {
        Inspected done;
        done.status = platform.readFile(found.files[i].path, done.bytes);
        if (!done.status) return done;
        done.assumed = hint.get();
        done.left = done.assumed;
        done.result = formatFileBytes(done.bytes, escapedName(found.files[i].path), options.format, done.left,
                                      options.encoding, pipeline);
        return done;
    };
    const int jobs = options.jobs > 0 ? options.jobs : defaultJobs();
    std::unique_ptr<ReadAhead<Inspected>> ahead;
    if (jobs > 1 && found.files.size() > 1)
        ahead = std::make_unique<ReadAhead<Inspected>>(found.files.size(), jobs, 4 * static_cast<std::size_t>(jobs),
                                                       inspect);
    for (std::size_t i = 0; i < found.files.size(); ++i) {
        const RunFile& file = found.files[i];
        Inspected done;
        if (ahead) {
            done = ahead->take(i);
        } else {
            done.status = platform.readFile(file.path, done.bytes);
        }
        const std::string& bytes = done.bytes;
        if (!done.status) {
            report(err, englishText(done.status));
            failed = true;
            continue;
        }
        PipelineResult result;
        if (ahead && done.assumed == doLabels) {
            result = std::move(done.result);
            doLabels = std::move(done.left);
        } else {
            result = formatFileBytes(bytes, escapedName(file.path), options.format, doLabels, options.encoding, pipeline);
        }
        if (ahead) hint.set(doLabels);
        reportWarnings(err, escapedName(file.path), result.warnings);
        if (!result.formatted()) {
            report(err, englishText(result.reason));
            refused.push_back(file.path);
        } else if (result.bytes != bytes) {
            changed = true;
            const std::string name = escapedName(file.path);
            const std::string shown = diff ? unifiedDiff(bytes, result.bytes, name, color) : name + "\n";
            std::fwrite(shown.data(), 1, shown.size(), out);
        }
    }
    if (!refused.empty()) {
        std::fprintf(out, "would not be formatted (left unchanged by a run):\n");
        for (const std::string& file : refused) std::fprintf(out, "%s\n", escapedName(file).c_str());
    }
    if (failed || !refused.empty()) return CliResult::FilesFailed;
    return changed ? CliResult::ChangesFound : CliResult::Success;
}

}  // namespace

PipelineResult formatOneText(const CliOptions& options, std::string bytes, const std::string& name,
                             bool alongside) {
    DoLabelRecord doLabels;
    const std::string original = options.rangeFirst != 0 ? bytes : std::string();
    PipelineOptions pipeline = pipelineOptions(options);
    if (alongside) {
        pipeline.checkAlongside = true;
        pipeline.releaseInput = releasePages;
    }
    PipelineResult result =
        formatFileBytes(std::move(bytes), name, options.format, doLabels, options.encoding, pipeline);
    // A range keeps every line outside it as it was; the changes on it are
    // those of the whole file's formatting, which the safety check passed.
    if (result.formatted() && options.rangeFirst != 0)
        result.bytes = applyInRange(original, result.bytes, options.rangeFirst, options.rangeLast);
    return result;
}

Status applyDocumentConfig(CliOptions& options, const std::string& path) {
    options.mode = CliMode::Stdout;
    options.paths = {"-"};
    options.stdinFilename = path;
    return configStatus(options);
}

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

CliResult runCli(const CliOptions& given, std::FILE* in, std::FILE* out, std::FILE* err) {
    CliOptions options = given;
    if (options.mode != CliMode::Stdout && !pathsExist(options, err)) return CliResult::UsageError;
    // A restore and the slot listing format nothing: no settings file applies.
    const bool formats = options.mode != CliMode::Restore && options.mode != CliMode::ListBackups;
    if (formats && !applyConfig(options, err)) return CliResult::UsageError;
    // The classic layout always indents by 4; a width asked for on the
    // command line would be silently ignored, so it is refused.
    if (formats && options.indentGiven && options.format.style == LayoutStyle::Classic) {
        report(err, "--indent goes with --style modern (the classic layout always indents by 4)");
        return CliResult::UsageError;
    }
    // The classic layout's banners are Chinese, which Latin-1 cannot hold:
    // every file would fail, so the pairing is refused before any backup.
    if (formats && options.encoding == EncodingChoice::Latin1 && options.format.style == LayoutStyle::Classic) {
        report(err, "--encoding latin-1 goes with --style modern (the classic layout writes Chinese banners, "
                    "which Latin-1 cannot hold)");
        return CliResult::UsageError;
    }
    switch (options.mode) {
        case CliMode::Batch:
            return runBatchMode(options, in, out, err);
        case CliMode::Stdout:
            return runStdoutMode(options, in, out, err);
        case CliMode::Check:
        case CliMode::Diff:
            return runInspectMode(options, out, err);
        case CliMode::Restore:
        case CliMode::ListBackups: {
            const CliResult result = options.mode == CliMode::Restore ? runRestoreMode(options, out, err)
                                                                      : runListBackupsMode(options, out);
            // A listing or a restore report nobody could read is no success.
            if (std::fflush(out) != 0 || std::ferror(out)) {
                report(err, "standard output: cannot write");
                return result == CliResult::Success ? CliResult::FilesFailed : result;
            }
            return result;
        }
        case CliMode::Lsp:  // main runs the server: its exit codes are the protocol's
            break;
    }
    return CliResult::UsageError;
}

}  // namespace codekiln
