// The window's words for the tool's failures. The path and the system's own
// text stay as they are; so do the words of failures the window has no
// Chinese for.
#include "app/failure_reasons.h"

#include "run/reason_text.h"

namespace codekiln {

namespace {

/// The name the platform gives the system's code page, which the Chinese
/// words name without a blank on either side.
bool systemCodePage(const Reason& reason) {
    return reason.name == "the system code page" || reason.name == "system code page";
}

}  // namespace

const char* chineseWording(const Reason& reason) {
    switch (reason.code) {
        case Why::None:
        case Why::Last:
            return nullptr;
        case Why::CannotRead:
            return "{path}: 无法读取{(detail)}";
        case Why::CannotWrite:
            return "{path}: 无法写入{(detail)}";
        case Why::CannotWriteInPlace:
            return "{path}: 无法写入; its backup holds the original{(detail)}";
        case Why::ReadOnly:
            return "{path}: 无法写入 (文件为只读)";
        case Why::CannotCreateFolder:
            return "{path}: 无法创建文件夹{(detail)}";
        case Why::FileNotFound:
            return "{path}: 文件不存在";
        case Why::FolderNotFound:
            return "{path}: 文件夹不存在";
        case Why::NotAFolder:
            return "{path}: 不是文件夹";
        case Why::FolderUnreadable:
            return "{path}: 文件夹无法读取";
        case Why::NotValidText:
            return systemCodePage(reason) ? "{path}: 不是有效的系统代码页文本"
                                          : "{path}: 不是有效的 {name} 文本";
        case Why::NeitherUtf8Nor:
            return systemCodePage(reason) ? "{path}: 既不是 UTF-8 也不是系统代码页文本"
                                          : "{path}: 既不是 UTF-8 也不是 {name} 文本";
        case Why::CannotEncode:
            return systemCodePage(reason) ? "{path}: 文本无法用系统代码页写出"
                                          : "{path}: 文本无法用 {name} 编码写出";
        case Why::CannotStoreSetting:
            return "{path}: 无法保存设置 {name}";
        case Why::InBackupFolder:
            return "{path}: lies in a backup folder of {name}；未格式化, so that no backup is overwritten";
        case Why::NotFormatted:
            return "{path}: {cause}；未格式化";
        case Why::Unstable:
            return "{path}: still changing after {line} formatting passes；未格式化";
        case Why::NoBackupCopy:
            return "{cause}；没有备份副本，因此未格式化";
        case Why::LineChanged:
            return "第{line}行在格式化后改变或丢失";
        case Why::AddedText:
            return "格式化在输出的第{line}行多出了文字";
        case Why::ConstantChanged:
            return "第{line}行的字符常量在格式化后改变或丢失";
        case Why::ConstantMissing:
            return "第{line}行的字符常量在格式化后丢失";
        case Why::AddedConstant:
            return "格式化在输出的第{line}行多出了字符常量";
        // The window shows these in the tool's English words.
        case Why::CannotListFolder:
        case Why::CannotRemove:
        case Why::CannotKeepOwner:
        case Why::NotRegularFile:
        case Why::NotPlainFile:
        case Why::ChangedWhileRead:
        case Why::ChangedDuringFormatting:
        case Why::ChangedDuringRestore:
        case Why::MadeDuringRestore:
        case Why::NoConverter:
        case Why::CannotStart:
        case Why::OpenerFailed:
        case Why::BackupRootBusy:
        case Why::CannotLockBackupRoot:
        case Why::NotAManifest:
        case Why::DamagedManifest:
        case Why::ManifestNotKept:
        case Why::NotRecorded:
        case Why::LineMissing:
        case Why::CommentChanged:
        case Why::LabelFieldChanged:
        case Why::BeyondColumn72Changed:
        case Why::FixedConstantChanged:
        case Why::LineCountChanged:
        case Why::LineEndChanged:
        case Why::MoreThanBlanks:
        // Undoing a run and the command line's own failures never reach the window.
        case Why::ManifestRefused:
        case Why::NoAbsoluteFolder:
        case Why::NameOutside:
        case Why::PlaceNotAbsolute:
        case Why::FolderLeadsElsewhere:
        case Why::RunFolderGone:
        case Why::OtherRunsFolder:
        case Why::NoManifest:
        case Why::UnfinishedRun:
        case Why::NoBackupCopies:
        case Why::NoSuchBackupFolder:
        case Why::SymbolicLinkNotFollowed:
        case Why::NotASlot:
        case Why::GitNotRun:
        case Why::GitFailed:
        case Why::GitSaid:
        case Why::NotInGitTree:
        case Why::NotACommit:
        case Why::NotUtf8Name:
        case Why::DifferentSettings:
        case Why::StandardInputUnreadable:
        case Why::SettingsFileUnreadable:
        case Why::SettingsSyntax:
        case Why::UnknownSettingsKey:
        case Why::SettingsKeyWrong:
            return englishWording(reason);
    }
    return nullptr;
}

std::string chineseText(const Reason& reason) { return renderReason(reason, chineseWording); }

}  // namespace codekiln
