// The helpers of qt_support.h that are the same on every system.
#include "platform/qt_support.h"

#include <QDir>
#include <QFileInfo>

namespace codekiln {

Status qtFileNames(const std::string& folder, const std::string& extension, QStringList& entries) {
    const QFileInfo info(qs(folder));
    if (!info.exists()) return fail(folder, Why::FolderNotFound, {});
    if (!info.isDir()) return fail(folder, Why::NotAFolder, {});
    if (!info.isReadable()) return fail(folder, Why::FolderUnreadable, {});
    QDir dir(qs(folder));
    // One filter, never split at ";" or blanks; without QDir::CaseSensitive
    // the wildcard matching ignores case. Files only: no folders, no hidden
    // files, no sockets, pipes or devices.
    dir.setNameFilters(QStringList{QStringLiteral("*") + qs(extension)});
    dir.setFilter(QDir::Files | QDir::NoDotAndDotDot);
    dir.setSorting(QDir::Unsorted);
    entries = dir.entryList();
    return Status::success();
}

}  // namespace codekiln
