// The drives the drive list offers: the drive letters on Windows, the
// mounted volumes elsewhere, each with the folder it starts at.
#pragma once

#include <QList>
#include <QString>

namespace codekiln {

/// One entry of the drive list.
struct DriveEntry {
    QString label;  ///< as the list shows it
    QString root;   ///< the drive's top folder, '/' separators
};

/// Every drive of the machine, in the order the list shows them.
QList<DriveEntry> listDrives();

/// The drive that holds `folder`: its top folder.
QString driveRootOf(const QString& folder);

/// Whether a drive can be opened now. An empty removable drive, a vanished
/// volume or a path that is no folder is not ready.
bool isDriveReady(const QString& root);

/// The label the drive list uses for a drive's top folder.
QString driveLabel(const QString& root);

}  // namespace codekiln
