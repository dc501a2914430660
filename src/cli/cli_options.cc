// Reading codekiln-cli's arguments. Everything that can be wrong with them
// is found here, so that running starts from a consistent set of options.
#include "cli/cli_options.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

#include "platform/text_codec.h"

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

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Re-indents the Fortran files of a folder in place, backing each one up first into "
                       "备份1..备份5 in turn."));
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
        QStringLiteral("Write nothing; list the files (the PATHs, or the matching files "
                       "of folders) that formatting would change, and exit 1 if any."));
    const QCommandLineOption ext(
        QStringLiteral("ext"),
        QStringLiteral("The file extension, as typed into the window (default .f90); "
                       "anything else asks before running."),
        QStringLiteral("TEXT"), QStringLiteral(".f90"));
    const QCommandLineOption yes(QStringLiteral("yes"),
                                 QStringLiteral("Answer Yes to the extension warning."));
    const QCommandLineOption removeBlank(QStringLiteral("remove-blank-lines"),
                                         QStringLiteral("Drop blank lines."));
    const QCommandLineOption noIndentElse(
        QStringLiteral("no-indent-else"),
        QStringLiteral("Keep else, elseif and case lines at the level of their "
                       "block's statements."));
    const QCommandLineOption noSeparators(
        QStringLiteral("no-separators"), QStringLiteral("Write no separator banners between program units."));
    const QCommandLineOption backupDir(QStringLiteral("backup-dir"),
                                       QStringLiteral("The folder that holds 备份1..备份5."),
                                       QStringLiteral("DIR"));
    const QCommandLineOption encoding(
        QStringLiteral("encoding"),
        QStringLiteral("How files are decoded: auto (UTF-8, else GB18030), utf-8, "
                       "gb18030 or system."),
        QStringLiteral("NAME"), QStringLiteral("auto"));
    const QCommandLineOption form(
        QStringLiteral("form"),
        QStringLiteral("The source form: free (the default), fixed (label in columns 1-5, "
                       "continuation mark in column 6, statement in 7-72), or auto (fixed for "
                       ".f .for .ftn .f77 files, free otherwise)."),
        QStringLiteral("FORM"), QStringLiteral("free"));
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
    parser.addOptions({help, version, toStdout, check, ext, yes, removeBlank, noIndentElse, noSeparators,
                       backupDir, encoding, form, restore, force, dryRun, listBackups});
    parser.addPositionalArgument(QStringLiteral("FOLDER"),
                                 QStringLiteral("The folder to format (or the PATHs "
                                                "with --check)."),
                                 QStringLiteral("FOLDER | --stdout FILE | --check PATH... | "
                                                "--restore [SLOT [FOLDER]] | --list-backups"));

    QStringList args;
    for (const std::string& a : arguments) args << QString::fromStdString(a);
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
    for (const QCommandLineOption* mode : {&toStdout, &check, &restore, &listBackups})
        modes += parser.isSet(*mode);
    if (modes > 1) return error("--stdout, --check, --restore and --list-backups exclude each other");
    if ((parser.isSet(force) || parser.isSet(dryRun)) && !parser.isSet(restore))
        return error("--force and --dry-run go with --restore");
    if (parser.isSet(restore)) {
        if (positional.size() > 2) return error("--restore takes a SLOT and a FOLDER at most");
        o.mode = CliMode::Restore;
        if (!positional.isEmpty()) {
            const QString slot = positional.front();
            if (slot.size() != 1 || slot[0] < QLatin1Char('1') || slot[0] > QLatin1Char('5'))
                return error("--restore: SLOT is a backup folder number 1 to 5, not \"" + fromQ(slot) + "\"");
            o.slot = slot.toInt();
        }
        if (positional.size() == 2) o.paths.push_back(fromQ(positional.back()));
        o.force = parser.isSet(force);
        o.dryRun = parser.isSet(dryRun);
    } else if (parser.isSet(listBackups)) {
        if (!positional.isEmpty()) return error("--list-backups takes no paths");
        o.mode = CliMode::ListBackups;
    } else if (parser.isSet(toStdout)) {
        if (!positional.isEmpty()) return error("--stdout takes one FILE and no other paths");
        o.mode = CliMode::Stdout;
        o.paths.push_back(fromQ(parser.value(toStdout)));
    } else if (parser.isSet(check)) {
        if (positional.isEmpty()) return error("--check needs at least one PATH");
        o.mode = CliMode::Check;
        for (const QString& p : positional) o.paths.push_back(fromQ(p));
    } else {
        if (positional.size() != 1) return error("give exactly one FOLDER (see --help)");
        o.mode = CliMode::Batch;
        o.paths.push_back(fromQ(positional.front()));
    }
    o.extensionText = fromQ(parser.value(ext));
    o.yes = parser.isSet(yes);
    o.format.removeBlankLines = parser.isSet(removeBlank);
    o.format.indentElse = !parser.isSet(noIndentElse);
    o.format.showSeparators = !parser.isSet(noSeparators);
    o.backupDir = fromQ(parser.value(backupDir));
    if (parser.isSet(backupDir) && o.backupDir.empty()) return error("--backup-dir needs a folder");
    if (!parseEncodingChoice(fromQ(parser.value(encoding)), o.encoding)) {
        return error("unknown --encoding \"" + fromQ(parser.value(encoding)) +
                     "\" (auto, utf-8, gb18030 or system)");
    }
    if (!parseSourceForm(fromQ(parser.value(form)), o.format.form))
        return error("unknown --form \"" + fromQ(parser.value(form)) + "\" (fixed, free or auto)");
    return parsed;
}

}  // namespace codekiln
