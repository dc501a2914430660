// Failures as values: what went wrong, as a code with the path, number,
// name and system text it concerns, and the failure that explains it. Each
// front end words them in its own language; nothing below the front ends
// builds a sentence.
#pragma once

#include <memory>
#include <string>
#include <utility>

namespace codekiln {

/// What went wrong. The arguments each one takes are in its wording
/// (run/reason_text.cc for English, app/failure_reasons.cc for Chinese).
enum class Why {
    None,
    // Files and folders.
    CannotRead,               ///< path, system text
    CannotWrite,              ///< path, system text
    CannotWriteInPlace,       ///< path, system text: a file rewritten in place, its backup intact
    ReadOnly,                 ///< path
    CannotCreateFolder,       ///< path, system text
    CannotListFolder,         ///< path, system text
    CannotRemove,             ///< path, system text
    CannotKeepOwner,          ///< path, system text
    FileNotFound,             ///< path
    FolderNotFound,           ///< path
    NotAFolder,               ///< path
    FolderUnreadable,         ///< path
    NotRegularFile,           ///< path
    NotPlainFile,             ///< path: a symbolic link or special file where a file was expected
    ChangedWhileRead,         ///< path
    ChangedDuringFormatting,  ///< path
    ChangedDuringRestore,     ///< path
    MadeDuringRestore,        ///< path
    // Encodings: name is the encoding's name.
    NotValidText,    ///< path, name
    NeitherUtf8Nor,  ///< path, name
    NoConverter,     ///< path, name
    CannotEncode,    ///< path, name
    // Settings, desktop, the backup root's lock, the run's manifest.
    CannotStoreSetting,    ///< path of the store, name "section/key"
    CannotStart,           ///< path of the folder, name of the program
    OpenerFailed,          ///< path, name of the program, line: its exit code
    BackupRootBusy,        ///< path of the root, name: the holder ("process 12 codekiln")
    CannotLockBackupRoot,  ///< path of the lock, system text
    NotAManifest,          ///< path, name: the parser's text, line: the byte
    DamagedManifest,       ///< path, name: what is wrong
    // The formatting pass.
    InBackupFolder,   ///< path, name: the backup root
    NotFormatted,     ///< path, cause: what the safety check found
    Unstable,         ///< path, line: the passes made
    NoBackupCopy,     ///< cause: why the backup could not be written
    ManifestNotKept,  ///< cause: why the run's manifest could not be written
    NotRecorded,      ///< cause: why the run's journal could not record the file
    // What the safety check found (no path: the pass's failure names it).
    LineChanged,            ///< line
    LineMissing,            ///< line
    AddedText,              ///< line of the output
    ConstantChanged,        ///< line
    ConstantMissing,        ///< line
    AddedConstant,          ///< line of the output
    CommentChanged,         ///< line
    LabelFieldChanged,      ///< line
    BeyondColumn72Changed,  ///< line
    FixedConstantChanged,   ///< line
    LineCountChanged,       ///< line: lines before, count: lines after
    LineEndChanged,         ///< line
    MoreThanBlanks,         ///< line
    // Undoing a run.
    ManifestRefused,          ///< path of the manifest, cause: why
    NoAbsoluteFolder,         ///< (a manifest's refusal)
    NameOutside,              ///< path: the name, name: the folder (a manifest's refusal)
    PlaceNotAbsolute,         ///< path: the place (a manifest's refusal)
    FolderLeadsElsewhere,     ///< path: the folder, name: where it leads (a manifest's refusal)
    RunFolderGone,            ///< path
    OtherRunsFolder,          ///< path: the slot's name, name: the run's folder, detail: the folder asked for
    NoManifest,               ///< path of the slot
    UnfinishedRun,            ///< path of the slot, name: the folder asked for
    NoBackupCopies,           ///< path of the slot
    NoSuchBackupFolder,       ///< path
    SymbolicLinkNotFollowed,  ///< path
    NotASlot,                 ///< line: the slot asked for, count: the last slot
    // The command line.
    GitNotRun,          ///< path: what was asked about
    GitFailed,          ///< path
    GitSaid,            ///< path, detail: what git said
    NotInGitTree,       ///< path
    NotACommit,         ///< path, name: the revision
    NotUtf8Name,        ///< path
    DifferentSettings,  ///< path, name: the other path, detail: the two settings files
    StandardInputUnreadable,
    SettingsFileUnreadable,  ///< path, detail: the system text ("" when not a regular file)
    SettingsSyntax,          ///< path (with line and column), detail: the parser's text
    UnknownSettingsKey,      ///< path (with line and column), name: the key, detail: the known keys
    SettingsKeyWrong,        ///< path (with line and column), name: the key, detail: what is wrong
    Last                     ///< not a failure: the end of the list
};

/// One failure: its code and what it concerns. Which fields a code uses is
/// listed with the code; the others stay empty.
struct Reason {
    Why code = Why::None;
    std::string path;  ///< as shown: names that are not UTF-8 escaped by the caller
    std::string name;
    std::string detail;  ///< the system's own text, shown as it is
    long long line = 0;
    long long count = 0;
    std::shared_ptr<const Reason> cause;  ///< the failure that explains this one
};

/// The outcome of one call: success, or the failure.
struct Status {
    bool ok = true;
    Reason reason;  ///< code None on success

    static Status success() { return {}; }
    static Status failure(Why code, std::string path = {}, std::string name = {}, std::string detail = {}) {
        Status s;
        s.ok = false;
        s.reason.code = code;
        s.reason.path = std::move(path);
        s.reason.name = std::move(name);
        s.reason.detail = std::move(detail);
        return s;
    }
    /// Sets the numbers the code takes.
    Status& at(long long line, long long count = 0) {
        reason.line = line;
        reason.count = count;
        return *this;
    }
    /// Records `why` as what explains this failure.
    Status& because(Reason why) {
        reason.cause = std::make_shared<const Reason>(std::move(why));
        return *this;
    }
    Why code() const { return reason.code; }
    explicit operator bool() const { return ok; }
};

}  // namespace codekiln
