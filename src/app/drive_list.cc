// Drive letters on Windows, mounted volumes elsewhere. On Linux the volumes
// include bind-mounted single files and pseudo file systems; only volumes
// whose top is a folder are offered.
#include "app/drive_list.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>

namespace codekiln {

QString driveLabel(const QString& root) {
    QString label = QDir::toNativeSeparators(root);
    QStorageInfo info(root);
    if (info.isValid() && !info.name().isEmpty() && info.name() != label)
        label += QStringLiteral(" [%1]").arg(info.name());
    return label;
}

QList<DriveEntry> listDrives() {
    QList<DriveEntry> drives;
#ifdef Q_OS_WIN
    // Every drive letter, ready or not: an empty removable drive is listed
    // and refused only when chosen.
    for (const QFileInfo& drive : QDir::drives()) {
        QString root = drive.absoluteFilePath();
        drives.append({QDir::toNativeSeparators(root).left(2).toLower(), root});
    }
#else
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        QString root = volume.rootPath();
        if (roots.contains(root) || !QFileInfo(root).isDir()) continue;
        roots.append(root);
    }
    std::sort(roots.begin(), roots.end());
    for (const QString& root : roots) drives.append({driveLabel(root), root});
#endif
    return drives;
}

QString driveRootOf(const QString& folder) {
    QStorageInfo info(folder);
    if (info.isValid()) return info.rootPath();
    return QDir(folder).rootPath();
}

bool isDriveReady(const QString& root) {
    QStorageInfo info(root);
    return info.isValid() && info.isReady() && QFileInfo(root).isDir();
}

}  // namespace codekiln
