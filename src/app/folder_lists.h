// What the window's three lists are made of: the drive list's box, the
// folder list's model of the disk and its view of one drive, and the file
// list's filter.
#pragma once

#include <QComboBox>
#include <QFileSystemModel>
#include <QSortFilterProxyModel>
#include <QString>

class QAbstractFileIconProvider;

namespace codekiln {

/// Whether `folder` is `root` or lies below it (both clean and absolute).
bool isInside(const QString& folder, const QString& root);

/// The lists' icon provider, one for every window: it gives no icons.
QAbstractFileIconProvider* noIcons();

/// The drive list: a drive's label too long for the box is cut in the
/// middle, so that both the start of its path and its name show, and the
/// list that drops down is wide enough for every label.
class DriveBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    void showPopup() override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

/// The folder list's model: folders only, the open folder in bold so that it
/// stands out from a merely highlighted entry.
class FolderModel : public QFileSystemModel {
public:
    using QFileSystemModel::QFileSystemModel;

    void setOpenFolder(const QString& folder) { openFolder_ = folder; }
    QVariant data(const QModelIndex& index, int role) const override;

private:
    QString openFolder_;
};

/// The folder list's view of one drive: the drive's top folder as the one
/// top row, every folder below it under it, nothing else.
class DriveTree : public QSortFilterProxyModel {
public:
    DriveTree(FolderModel* folders, QObject* parent);

    void setDriveRoot(const QString& root);
    /// The index the folder list is rooted at: above the drive's top folder,
    /// so that the top folder is a row that can be opened.
    QModelIndex viewRoot() const;
    QModelIndex indexOf(const QString& folder) const { return mapFromSource(folders_->index(folder)); }
    QString pathOf(const QModelIndex& index) const { return folders_->filePath(mapToSource(index)); }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override;

private:
    FolderModel* folders_;
    QString driveRoot_;
};

/// The file list's filter: files only. The file model keeps every folder it
/// has loaded and lets a folder once asked for through its filter, so a
/// folder opened earlier would show among its parent's files. The open
/// folder's own ancestors pass, or the list could not be rooted there.
class FilesOnly : public QSortFilterProxyModel {
public:
    FilesOnly(QFileSystemModel* files, QObject* parent);

    void setOpenFolder(const QString& folder);

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override;

private:
    QFileSystemModel* files_;
    QString openFolder_;
};

}  // namespace codekiln
