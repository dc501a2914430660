// What the common part of QtPlatform (qt_platform.cc) and the part of each
// system (qt_platform_posix.cc, qt_platform_windows.cc) share. Internal to
// the platform library.
#pragma once

#include <QString>
#include <QStringList>
#include <string>

#include "platform/file_names.h"
#include "platform/status.h"

namespace codekiln {

inline QString qs(const std::string& s) { return QString::fromStdString(s); }

inline std::string fromQ(const QString& s) { return s.toStdString(); }

inline Status fail(const std::string& path, Why what, const QString& reason) {
    return Status::failure(what, escapedName(path), {}, fromQ(reason));
}

/// The names Qt lists of the files of `folder` whose names end in
/// `extension` (which may hold wildcards), in no order, after the checks
/// that the folder is there, is a folder and can be read.
Status qtFileNames(const std::string& folder, const std::string& extension, QStringList& entries);

/// Whether the program folder `folder` is one where an installed program
/// keeps no backups (see isSystemProgramFolder).
bool keepsNoBackups(const QString& folder);

/// Makes `path` with every missing folder above it.
void makeFolderPath(const std::string& path);

/// The desktop's own program that shows a folder in the file manager.
const char* desktopFolderOpener();

}  // namespace codekiln
