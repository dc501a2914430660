// The command line of codekiln-cli: its modes and its options, read with
// QCommandLineParser into plain values.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "platform/text_codec.h"
#include "engine/state/format_options.h"

namespace codekiln {

/// What codekiln-cli is asked to do.
enum class CliMode {
    Batch,        ///< format the PATHs' files in place, as "处理代码" does for a folder
    Stdout,       ///< format one file (or standard input) and write it to standard output
    Check,        ///< only tell which files would change
    Diff,         ///< show what each file would become as a unified diff; write nothing
    Restore,      ///< put a backup slot's originals back (--restore [SLOT [FOLDER]])
    ListBackups,  ///< list the backup slots and whether each can be restored cleanly
    Lsp,          ///< serve an editor over standard input and output (--lsp)
};

/// When --diff colours its output.
enum class ColorChoice { Auto, Always, Never };

/// The parsed command line.
struct CliOptions {
    CliMode mode = CliMode::Batch;
    /// The PATHs (files and folders) in the order given, the FILE or "-"
    /// (Stdout), or the FOLDER to restore into (Restore; optional).
    std::vector<std::string> paths;
    std::string extensionText = ".f90";  ///< as typed; the warning is decided on it untrimmed
    bool yes = false;                    ///< answer Yes to the extension warning
    FormatOptions format;
    std::string backupDir;  ///< the folder that holds 备份1..备份5; empty: the default
    EncodingChoice encoding = EncodingChoice::Auto;
    bool recursive = false;             ///< folders' subfolders too, depth first
    bool untilStable = false;           ///< repeat the formatting pass until the text stays the same
    std::vector<std::string> excludes;  ///< wildcard patterns on relative paths
    ColorChoice color = ColorChoice::Auto;
    bool readConfig = true;  ///< look for the project's settings file (.codekiln.toml)
    /// The settings-file keys that an option on the command line set; the
    /// settings file does not override them.
    std::set<std::string> givenKeys;
    bool indentGiven = false;  ///< --indent was given (refused with the classic layout)
    int slot = 0;         ///< Restore: the slot 1..5; 0: the slot of the last run
    bool force = false;   ///< Restore: also files changed or deleted since the run
    bool dryRun = false;  ///< Restore: say what would happen, change nothing
    /// Stdout: apply only the changes on lines rangeFirst..rangeLast
    /// (1-based); 0: the whole file.
    std::size_t rangeFirst = 0;
    std::size_t rangeLast = 0;
    /// Stdout from standard input: the file name that finds the settings
    /// file, decides the form and names the text in messages.
    std::string stdinFilename;
    bool quiet = false;  ///< Batch: no summary and no progress; failures still on stderr
    bool json = false;   ///< Batch: the run as one JSON object on standard output, not the summary
    /// Batch: change only the lines that differ from this git revision
    /// (--changed[=REV]; HEAD when no REV is given); empty: the whole files.
    std::string changedSince;
    /// Batch, Check, Diff, Restore: files worked on at once (-j N); 0: as
    /// many as the machine has cores.
    int jobs = 0;
};

/// The most files -j and `jobs` let a run work on at once.
inline constexpr int kMaxJobs = 256;

/// Reads a number of jobs, 1 to kMaxJobs; false for anything else.
bool parseJobs(const std::string& text, int& jobs);

/// The result of reading the command line.
struct ParsedCommandLine {
    enum class Kind { Run, Help, Version, Error } kind = Kind::Run;
    CliOptions options;
    std::string text;  ///< the help or version text, or the error message
};

/// Reads the arguments (the program name first, as in argv).
ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments);

}  // namespace codekiln
