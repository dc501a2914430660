// Reading codekiln-cli's arguments. Everything that can be wrong with them
// is found here, so that running starts from a consistent set of options.
#include "cli/cli_options.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

#include "platform/text_codec.h"
#include "run/backup_slots.h"

namespace codekiln {

namespace {

std::string fromQ(const QString& s) { return s.toStdString(); }

ParsedCommandLine error(std::string message) {
    ParsedCommandLine parsed;
    parsed.kind = ParsedCommandLine::Kind::Error;
    parsed.text = std::move(message);
    return parsed;
}

}  // namespace

bool parseJobs(const std::string& text, int& jobs) {
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    const int n = std::stoi(text);
    if (n < 1 || n > kMaxJobs) return false;
    jobs = n;
    return true;
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Re-indents Fortran files in place, a folder (or a tree, or the files named) at a time, "
        "backing each one up first into 备份1..备份5 in turn. Defaults come from the project's "
        ".codekiln.toml, found in the folder given or its nearest parent."));
    const QCommandLineOption help(QStringList{"h", "help"}, QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version."));
    const QCommandLineOption toStdout(
        QStringLiteral("stdout"),
        QStringLiteral("Format FILE (or standard input for \"-\") as the first file "
                       "of a fresh run and write it to standard output; nothing on "
                       "disk changes."),
        QStringLiteral("FILE"));
    const QCommandLineOption check(
        QStringLiteral("check"),
        QStringLiteral("Write nothing; list the files that formatting would change, and exit 1 if any."));
    const QCommandLineOption diff(
        QStringLiteral("diff"),
        QStringLiteral("Write nothing; show what each file would become as a unified diff, and exit 1 if "
                       "any would change."));
    const QCommandLineOption color(QStringLiteral("color"),
                                   QStringLiteral("Colour --diff: auto (when standard output is a terminal), "
                                                  "always or never."),
                                   QStringLiteral("WHEN"), QStringLiteral("auto"));
    const QCommandLineOption recursive(QStringList{"r", "recursive"},
                                       QStringLiteral("Take folders' subfolders too, depth first (hidden "
                                                      "folders, linked folders and the backup folders "
                                                      "are skipped)."));
    const QCommandLineOption noRecursive(QStringLiteral("no-recursive"),
                                         QStringLiteral("Only the folders' own files."));
    const QCommandLineOption exclude(QStringLiteral("exclude"),
                                     QStringLiteral("Leave out files and folders whose path relative to the "
                                                    "folder given matches GLOB (*, ?, **); a GLOB without "
                                                    "\"/\" is matched against names. Repeatable."),
                                     QStringLiteral("GLOB"));
    const QCommandLineOption untilStable(
        QStringLiteral("until-stable"),
        QStringLiteral("Repeat the formatting pass until the text no longer changes."));
    const QCommandLineOption singlePass(QStringLiteral("single-pass"),
                                        QStringLiteral("One formatting pass per file."));
    const QCommandLineOption noConfig(QStringLiteral("no-config"),
                                      QStringLiteral("Ignore the project's .codekiln.toml."));
    const QCommandLineOption ext(
        QStringLiteral("ext"),
        QStringLiteral("The file extension, as typed into the window (default .f90); "
                       "anything else asks before running."),
        QStringLiteral("TEXT"), QStringLiteral(".f90"));
    const QCommandLineOption yes(QStringLiteral("yes"),
                                 QStringLiteral("Answer Yes to the extension warning."));
    const QCommandLineOption removeBlank(QStringLiteral("remove-blank-lines"),
                                         QStringLiteral("Drop blank lines."));
    const QCommandLineOption keepBlank(QStringLiteral("keep-blank-lines"),
                                       QStringLiteral("Keep blank lines."));
    const QCommandLineOption noIndentElse(
        QStringLiteral("no-indent-else"),
        QStringLiteral("Keep else, elseif and case lines at the level of their "
                       "block's statements."));
    const QCommandLineOption indentElse(QStringLiteral("indent-else"),
                                        QStringLiteral("Move else, elseif and case lines back one step."));
    const QCommandLineOption noSeparators(
        QStringLiteral("no-separators"), QStringLiteral("Write no separator banners between program units."));
    const QCommandLineOption separators(QStringLiteral("separators"),
                                        QStringLiteral("Write separator banners between program units."));
    const QCommandLineOption backupDir(QStringLiteral("backup-dir"),
                                       QStringLiteral("The folder that holds 备份1..备份5."),
                                       QStringLiteral("DIR"));
    const QCommandLineOption encoding(
        QStringLiteral("encoding"),
        QStringLiteral("How files are decoded: auto (UTF-8, else GB18030), utf-8, "
                       "gb18030, latin-1 (every byte one character, kept as it is) or system."),
        QStringLiteral("NAME"), QStringLiteral("auto"));
    const QCommandLineOption form(
        QStringLiteral("form"),
        QStringLiteral("The source form: auto (the default: fixed for .f .for .ftn .f77 files in "
                       "any letter case, free otherwise), free, or fixed (label in columns 1-5, "
                       "continuation mark in column 6, statement in 7-72)."),
        QStringLiteral("FORM"), QStringLiteral("auto"));
    const QCommandLineOption style(
        QStringLiteral("style"),
        QStringLiteral("The layout: classic (the default: the window's layout, with banners and CR LF) or "
                       "modern (only the indentation changes, by the block structure; line ends, blanks "
                       "within lines and the rest of each line stay as they are)."),
        QStringLiteral("STYLE"), QStringLiteral("classic"));
    const QCommandLineOption indent(
        QStringLiteral("indent"),
        QStringLiteral("With --style modern: columns per level, 1 to 8 (default 4)."),
        QStringLiteral("N"), QStringLiteral("4"));
    const QCommandLineOption restore(
        QStringLiteral("restore"),
        QStringLiteral("Undo a run: put the originals of backup SLOT (default: the last run's) back into "
                       "the folder its run formatted, where the files still hold what that run wrote. "
                       "FOLDER is needed for a slot from before runs left a manifest (with --force)."));
    const QCommandLineOption force(
        QStringLiteral("force"),
        QStringLiteral("With --restore: also restore files changed or deleted since the run, first keeping "
                       "their current text in the slot as NAME.before-restore."));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"),
                                    QStringLiteral("With --restore: say what would happen and change nothing."));
    const QCommandLineOption listBackups(
        QStringLiteral("list-backups"),
        QStringLiteral("List the backup slots: each run's time, folder, files, and whether it can still be "
                       "restored cleanly."));
    const QCommandLineOption range(
        QStringLiteral("range"),
        QStringLiteral("With --stdout: format the whole file for its context, but change only lines "
                       "FIRST to LAST (from 1); every other line comes out as it was."),
        QStringLiteral("FIRST:LAST"));
    const QCommandLineOption stdinFilename(
        QStringLiteral("stdin-filename"),
        QStringLiteral("With --stdout -: the file name standard input stands for; it finds the "
                       ".codekiln.toml, decides the form and names the text in messages."),
        QStringLiteral("PATH"));
    // clang-format off
    parser.addOptions({help,         version,     toStdout,    check,       diff,         color,
                       recursive,    noRecursive, exclude,     untilStable, singlePass,   noConfig,
                       ext,          yes,         removeBlank, keepBlank,   noIndentElse, indentElse,
                       noSeparators, separators,  backupDir,   encoding,    form,         style,
                       indent,       restore,
                       force,        dryRun,      listBackups});
    // clang-format on
    const QCommandLineOption lsp(
        QStringLiteral("lsp"),
        QStringLiteral("Serve an editor as a language server over standard input and output: whole "
                       "buffers and ranges formatted as --stdout formats their files; nothing on disk "
                       "changes."));
    const QCommandLineOption quiet(
        QStringLiteral("quiet"),
        QStringLiteral("A run in place prints no summary and no progress; only failures, on standard error."));
    const QCommandLineOption json(
        QStringLiteral("json"),
        QStringLiteral("A run in place puts out one JSON object instead of the summary: each file with its "
                       "outcome (formatted, unchanged, refused with a reason code), the backup slot and "
                       "the counts."));
    const QCommandLineOption changed(
        QStringLiteral("changed"),
        QStringLiteral("--changed[=REV]: a run in place changes only the lines that differ from git "
                       "revision REV (default HEAD: staged and unstaged changes); files git does not "
                       "track are formatted whole."));
    const QCommandLineOption jobs(
        {QStringLiteral("j"), QStringLiteral("jobs")},
        QStringLiteral("Work on N files at once (default: the number of cores); the files are still "
                       "backed up, rewritten and reported one after the other, in order."),
        QStringLiteral("N"));
    parser.addOptions({range, stdinFilename, lsp, quiet, json, changed, jobs});
    parser.addPositionalArgument(QStringLiteral("PATH"),
                                 QStringLiteral("Files and folders to format, in this order."),
                                 QStringLiteral("PATH... | --stdout FILE | --restore [SLOT [FOLDER]] | "
                                                "--list-backups"));

    // --changed takes its revision only as --changed=REV, as a PATH may
    // follow it.
    QStringList args;
    QString changedRevision;
    bool optionsEnd = false;
    for (const std::string& a : arguments) {
        QString arg = QString::fromStdString(a);
        if (!optionsEnd && arg.startsWith(QLatin1String("--changed="))) {
            changedRevision = arg.mid(10);
            if (changedRevision.isEmpty()) return error("--changed= needs a revision");
            // An option for git, not a revision: it is never passed on.
            if (changedRevision.startsWith(QLatin1Char('-')))
                return error("--changed: \"" + a.substr(10) + "\" is not a revision");
            arg = QStringLiteral("--changed");
        }
        optionsEnd = optionsEnd || arg == QLatin1String("--");
        args << arg;
    }
    if (!parser.parse(args)) return error(fromQ(parser.errorText()));

    ParsedCommandLine parsed;
    if (parser.isSet(help)) {
        parsed.kind = ParsedCommandLine::Kind::Help;
        parsed.text = fromQ(parser.helpText());
        return parsed;
    }
    if (parser.isSet(version)) {
        parsed.kind = ParsedCommandLine::Kind::Version;
        parsed.text = "codekiln-cli " + fromQ(QCoreApplication::applicationVersion());
        return parsed;
    }

    CliOptions& o = parsed.options;
    const QStringList positional = parser.positionalArguments();
    int modes = 0;
    for (const QCommandLineOption* mode : {&toStdout, &check, &diff, &restore, &listBackups, &lsp})
        modes += parser.isSet(*mode);
    if (modes > 1)
        return error("--stdout, --check, --diff, --restore, --list-backups and --lsp exclude each other");
    if ((parser.isSet(force) || parser.isSet(dryRun)) && !parser.isSet(restore))
        return error("--force and --dry-run go with --restore");
    if (parser.isSet(restore)) {
        if (positional.size() > 2) return error("--restore takes a SLOT and a FOLDER at most");
        o.mode = CliMode::Restore;
        if (!positional.isEmpty()) {
            const QString slot = positional.front();
            const bool digit = slot.size() == 1 && slot[0] >= QLatin1Char('0') && slot[0] <= QLatin1Char('9');
            const int number = digit ? slot[0].unicode() - '0' : 0;
            if (!isBackupSlot(number))
                return error("--restore: SLOT is a backup folder number 1 to " + std::to_string(kBackupSlots) +
                             ", not \"" + fromQ(slot) + "\"");
            o.slot = slot.toInt();
        }
        if (positional.size() == 2) o.paths.push_back(fromQ(positional.back()));
        o.force = parser.isSet(force);
        o.dryRun = parser.isSet(dryRun);
    } else if (parser.isSet(listBackups)) {
        if (!positional.isEmpty()) return error("--list-backups takes no paths");
        o.mode = CliMode::ListBackups;
    } else if (parser.isSet(lsp)) {
        if (!positional.isEmpty()) return error("--lsp takes no paths");
        o.mode = CliMode::Lsp;
    } else if (parser.isSet(toStdout)) {
        if (!positional.isEmpty()) return error("--stdout takes one FILE and no other paths");
        o.mode = CliMode::Stdout;
        o.paths.push_back(fromQ(parser.value(toStdout)));
    } else {
        if (positional.isEmpty()) return error("give at least one PATH (see --help)");
        o.mode = parser.isSet(check) ? CliMode::Check : parser.isSet(diff) ? CliMode::Diff : CliMode::Batch;
        for (const QString& p : positional) o.paths.push_back(fromQ(p));
    }

    if (parser.isSet(range)) {
        if (o.mode != CliMode::Stdout) return error("--range goes with --stdout");
        const QStringList bounds = parser.value(range).split(QLatin1Char(':'));
        bool firstOk = false;
        bool lastOk = false;
        if (bounds.size() == 2) {
            o.rangeFirst = bounds[0].toULongLong(&firstOk);
            o.rangeLast = bounds[1].toULongLong(&lastOk);
        }
        if (!firstOk || !lastOk || o.rangeFirst == 0 || o.rangeLast < o.rangeFirst)
            return error("--range: FIRST:LAST are line numbers from 1 with FIRST <= LAST, not \"" +
                         fromQ(parser.value(range)) + "\"");
    }
    o.quiet = parser.isSet(quiet);
    if (parser.isSet(json)) {
        if (o.mode != CliMode::Batch) return error("--json goes with a run in place");
        o.json = true;
    }
    if (parser.isSet(changed)) {
        if (o.mode != CliMode::Batch) return error("--changed goes with a run in place");
        o.changedSince = changedRevision.isEmpty() ? std::string("HEAD") : fromQ(changedRevision);
    }
    if (parser.isSet(stdinFilename)) {
        if (o.mode != CliMode::Stdout || o.paths.front() != "-")
            return error("--stdin-filename goes with --stdout -");
        o.stdinFilename = fromQ(parser.value(stdinFilename));
        if (o.stdinFilename.empty()) return error("--stdin-filename needs a file name");
    }

    // A pair of options for one setting: at most one of them, and the
    // setting counts as given on the command line either way.
    std::string conflict;
    const auto pair = [&](const QCommandLineOption& on, const QCommandLineOption& off, const char* key,
                          bool& target) {
        if (parser.isSet(on) && parser.isSet(off))
            conflict = "--" + fromQ(on.names().back()) + " and --" + fromQ(off.names().back()) +
                       " exclude each other";
        if (parser.isSet(on) || parser.isSet(off)) {
            target = parser.isSet(on);
            o.givenKeys.insert(key);
        }
    };
    pair(removeBlank, keepBlank, "remove-blank-lines", o.format.removeBlankLines);
    pair(indentElse, noIndentElse, "indent-else", o.format.indentElse);
    pair(separators, noSeparators, "separators", o.format.showSeparators);
    pair(recursive, noRecursive, "recursive", o.recursive);
    pair(untilStable, singlePass, "until-stable", o.untilStable);
    if (!conflict.empty()) return error(conflict);

    o.extensionText = fromQ(parser.value(ext));
    if (parser.isSet(ext)) o.givenKeys.insert("extension");
    o.yes = parser.isSet(yes);
    o.backupDir = fromQ(parser.value(backupDir));
    if (parser.isSet(backupDir) && o.backupDir.empty()) return error("--backup-dir needs a folder");
    if (!parseEncodingChoice(fromQ(parser.value(encoding)), o.encoding)) {
        return error("unknown --encoding \"" + fromQ(parser.value(encoding)) +
                     "\" (auto, utf-8, gb18030 or system)");
    }
    if (parser.isSet(encoding)) o.givenKeys.insert("encoding");
    for (const QString& glob : parser.values(exclude)) {
        if (glob.isEmpty()) return error("--exclude needs a pattern");
        o.excludes.push_back(fromQ(glob));
    }
    if (parser.isSet(exclude)) o.givenKeys.insert("exclude");
    const QString when = parser.value(color);
    if (when == "auto") {
        o.color = ColorChoice::Auto;
    } else if (when == "always") {
        o.color = ColorChoice::Always;
    } else if (when == "never") {
        o.color = ColorChoice::Never;
    } else {
        return error("unknown --color \"" + fromQ(when) + "\" (auto, always or never)");
    }
    o.readConfig = !parser.isSet(noConfig);
    if (!parseSourceForm(fromQ(parser.value(form)), o.format.form))
        return error("unknown --form \"" + fromQ(parser.value(form)) + "\" (fixed, free or auto)");
    if (parser.isSet(form)) o.givenKeys.insert("form");
    if (!parseLayoutStyle(fromQ(parser.value(style)), o.format.style))
        return error("unknown --style \"" + fromQ(parser.value(style)) + "\" (classic or modern)");
    if (parser.isSet(style)) o.givenKeys.insert("style");
    if (parser.isSet(jobs)) {
        if (!parseJobs(fromQ(parser.value(jobs)), o.jobs))
            return error("-j takes a number of files from 1 to " + std::to_string(kMaxJobs) + ", not \"" +
                         fromQ(parser.value(jobs)) + "\"");
        o.givenKeys.insert("jobs");
    }
    if (parser.isSet(indent)) {
        if (!parseIndentWidth(fromQ(parser.value(indent)), o.format.indentWidth))
            return error("--indent takes a width from 1 to 8, not \"" + fromQ(parser.value(indent)) + "\"");
        o.givenKeys.insert("indent");
        o.indentGiven = true;
    }
    return parsed;
}

}  // namespace codekiln
