// The English wording of every failure: the command line's messages, its
// JSON report's reasons and the run's logs.
#include "run/reason_text.h"

namespace codekiln {

std::string renderReason(const Reason& reason, Wording wording) {
    const char* pattern = wording(reason);
    if (pattern == nullptr) return {};
    const std::string text(pattern);
    std::string out;
    bool causePlaced = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t close = text[i] == '{' ? text.find('}', i) : std::string::npos;
        if (close == std::string::npos) {
            out += text[i];
            continue;
        }
        const std::string field = text.substr(i + 1, close - i - 1);
        if (field == "path") {
            out += reason.path;
        } else if (field == "name") {
            out += reason.name;
        } else if (field == "detail") {
            out += reason.detail;
        } else if (field == "(detail)") {
            if (!reason.detail.empty()) out += " (" + reason.detail + ")";
        } else if (field == "line") {
            out += std::to_string(reason.line);
        } else if (field == "count") {
            out += std::to_string(reason.count);
        } else if (field == "cause") {
            if (reason.cause) out += renderReason(*reason.cause, wording);
            causePlaced = true;
        } else {
            out += text.substr(i, close - i + 1);
        }
        i = close;
    }
    if (reason.cause && !causePlaced) out = renderReason(*reason.cause, wording) + "; " + out;
    return out;
}

const char* englishWording(const Reason& reason) {
    switch (reason.code) {
        case Why::None:
        case Why::Last:
            return nullptr;
        case Why::CannotRead:
            return "{path}: cannot read{(detail)}";
        case Why::CannotWrite:
            return "{path}: cannot write{(detail)}";
        case Why::CannotWriteInPlace:
            return "{path}: cannot write; its backup holds the original{(detail)}";
        case Why::ReadOnly:
            return "{path}: cannot write (the file is read-only)";
        case Why::CannotCreateFolder:
            return "{path}: cannot create folder{(detail)}";
        case Why::CannotListFolder:
            return "{path}: cannot list the folder{(detail)}";
        case Why::CannotRemove:
            return "{path}: cannot remove{(detail)}";
        case Why::CannotKeepOwner:
            return "{path}: cannot keep its owner and group; left as it is{(detail)}";
        case Why::FileNotFound:
            return "{path}: file not found";
        case Why::FolderNotFound:
            return "{path}: folder not found";
        case Why::NotAFolder:
            return "{path}: not a folder";
        case Why::FolderUnreadable:
            return "{path}: folder cannot be read";
        case Why::NotRegularFile:
            return "{path}: not a regular file";
        case Why::NotPlainFile:
            return "{path}: not a plain file; not followed";
        case Why::ChangedWhileRead:
            return "{path}: changed while it was read; left alone";
        case Why::ChangedDuringFormatting:
            return "{path}: changed during formatting; left as the other program left it";
        case Why::ChangedDuringRestore:
            return "{path}: changed during the restore; left as the other program left it";
        case Why::MadeDuringRestore:
            return "{path}: made by another program during the restore; left as it is";
        case Why::NotValidText:
            return "{path}: not valid {name} text";
        case Why::NeitherUtf8Nor:
            return "{path}: neither UTF-8 nor {name} text";
        case Why::NoConverter:
            return "{path}: no converter for {name} here";
        case Why::CannotEncode:
            return "{path}: the text cannot be written in {name}";
        case Why::CannotStoreSetting:
            return "{path}: cannot store the setting {name}";
        case Why::CannotStart:
            return "{path}: cannot start {name}";
        case Why::OpenerFailed:
            return "{path}: {name} could not open the folder (exit code {line})";
        case Why::BackupRootBusy:
            return "{path}: another run is using this backup folder ({name}); try again when it has finished";
        case Why::CannotLockBackupRoot:
            return "{path}: cannot lock the backup folder{(detail)}";
        case Why::NotAManifest:
            return "{path}: not a run manifest ({name} at byte {line})";
        case Why::DamagedManifest:
            return "{path}: damaged run manifest: {name}";
        case Why::InBackupFolder:
            return "{path}: lies in a backup folder of {name}; not formatted, so that no backup is "
                   "overwritten";
        case Why::NotFormatted:
            return "{path}: {cause}; not formatted";
        case Why::Unstable:
            return "{path}: still changing after {line} formatting passes; not formatted";
        case Why::NoBackupCopy:
            return "{cause}; not formatted, as it has no backup copy";
        case Why::ManifestNotKept:
            return "{cause}; the run cannot be undone with --restore";
        case Why::NotRecorded:
            return "{cause}; not formatted, as the run could not record it for --restore";
        case Why::LineChanged:
            return "line {line} is changed or missing after formatting";
        case Why::LineMissing:
            return "line {line} is missing after formatting";
        case Why::AddedText:
            return "formatting added text at output line {line}";
        case Why::ConstantChanged:
            return "a character constant on line {line} is changed or missing after formatting";
        case Why::ConstantMissing:
            return "a character constant on line {line} is missing after formatting";
        case Why::AddedConstant:
            return "formatting added a character constant at output line {line}";
        case Why::CommentChanged:
            return "line {line}, a comment line, is changed after formatting";
        case Why::LabelFieldChanged:
            return "line {line}: its label field or continuation mark is changed after formatting";
        case Why::BeyondColumn72Changed:
            return "line {line}: its text beyond column 72 is changed after formatting";
        case Why::FixedConstantChanged:
            return "a character or Hollerith constant on line {line} is changed after formatting";
        case Why::LineCountChanged:
            return "the modern layout changed the line count ({line} to {count})";
        case Why::LineEndChanged:
            return "line {line}: the modern layout changed the line end";
        case Why::MoreThanBlanks:
            return "line {line}: the modern layout changed more than the leading and trailing blanks";
        case Why::ManifestRefused:
            return "{path}: refused, {cause}";
        case Why::NoAbsoluteFolder:
            return "it names no absolute folder";
        case Why::NameOutside:
            return "it names \"{path}\", which is not a file inside {name}";
        case Why::PlaceNotAbsolute:
            return "it places a file at \"{path}\", which is not an absolute path of a file";
        case Why::FolderLeadsElsewhere:
            return "{path} now leads elsewhere through a symbolic link ({name})";
        case Why::RunFolderGone:
            return "{path}: the run's folder is gone";
        case Why::OtherRunsFolder:
            return "{path} holds a run over {name}, not over {detail}";
        case Why::NoManifest:
            return "{path}: no manifest (a run before manifests were kept, or one that did not finish); "
                   "restore it with --force and the FOLDER to restore into";
        case Why::UnfinishedRun:
            return "{path}: the run over {name} did not finish, so its manifest names no file; restore its "
                   "copies with --force";
        case Why::NoBackupCopies:
            return "{path}: holds no backup copies";
        case Why::NoSuchBackupFolder:
            return "{path}: no such backup folder";
        case Why::SymbolicLinkNotFollowed:
            return "{path}: a symbolic link; not followed";
        case Why::NotASlot:
            return "backup slot {line}: slots are 1 to {count}";
        case Why::GitNotRun:
            return "{path}: git could not be run (is it installed?)";
        case Why::GitFailed:
            return "{path}: git failed";
        case Why::GitSaid:
            return "{path}: {detail}";
        case Why::NotInGitTree:
            return "{path}: not in a git work tree; --changed needs one";
        case Why::NotACommit:
            return "{path}: \"{name}\" is not a commit of its git repository";
        case Why::NotUtf8Name:
            return "{path}: not a UTF-8 name; --changed cannot ask git about it";
        case Why::DifferentSettings:
            return "{path} and {name} fall under different settings files ({detail}); "
                   "run them separately or pass --no-config";
        case Why::StandardInputUnreadable:
            return "standard input: cannot read";
        case Why::SettingsFileUnreadable:
            return "{path}: cannot read the settings file: {detail}";
        case Why::SettingsSyntax:
            return "{path}: {detail}";
        case Why::UnknownSettingsKey:
            return "{path}: unknown key \"{name}\" (known: {detail})";
        case Why::SettingsKeyWrong:
            return "{path}: key \"{name}\": {detail}";
    }
    return nullptr;
}

std::string englishText(const Reason& reason) { return renderReason(reason, englishWording); }

}  // namespace codekiln
