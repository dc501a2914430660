// The window's lists. The models are the desktop's model of the disk; what
// is the window's own is which rows show, the open folder's bold face, and
// a drive label that fits its box.
#include "app/folder_lists.h"

#include <QAbstractFileIconProvider>
#include <QAbstractItemView>
#include <QFont>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include "platform/paths.h"

namespace codekiln {

bool isInside(const QString& folder, const QString& root) {
    return isSameOrBelow(folder.toUtf8().toStdString(), root.toUtf8().toStdString());
}

namespace {

/// The lists' icons: none. The desktop's icon lookup probes the icon theme's
/// folders for every file that changes; during a run every formatted file
/// changes, and the lookup made a run with the progress dialog showing ten
/// times slower than one without.
class NoIcons : public QAbstractFileIconProvider {
public:
    QIcon icon(IconType) const override { return {}; }
    QIcon icon(const QFileInfo&) const override { return {}; }
};

}  // namespace

QAbstractFileIconProvider* noIcons() {
    // It holds nothing, and it must outlive the models that use it, which
    // the window's members would not.
    static NoIcons provider;
    return &provider;
}

void DriveBox::showPopup() {
    int widest = 0;
    for (int i = 0; i < count(); ++i) widest = std::max(widest, fontMetrics().horizontalAdvance(itemText(i)));
    view()->setMinimumWidth(widest + 4 * fontMetrics().averageCharWidth());
    QComboBox::showPopup();
}

void DriveBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideMiddle, field.width());
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

QVariant FolderModel::data(const QModelIndex& index, int role) const {
    if (role == Qt::FontRole && index.column() == 0 && filePath(index) == openFolder_) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    return QFileSystemModel::data(index, role);
}

DriveTree::DriveTree(FolderModel* folders, QObject* parent) : QSortFilterProxyModel(parent), folders_(folders) {
    setSourceModel(folders);
}

void DriveTree::setDriveRoot(const QString& root) {
    if (root == driveRoot_) return;
    driveRoot_ = root;
    invalidateFilter();
}

QModelIndex DriveTree::viewRoot() const { return indexOf(driveRoot_).parent(); }

bool DriveTree::filterAcceptsRow(int row, const QModelIndex& parent) const {
    const QString path = folders_->filePath(folders_->index(row, 0, parent));
    // Below the drive's top folder everything; above it only the way down.
    return isInside(path, driveRoot_) || isInside(driveRoot_, path);
}

FilesOnly::FilesOnly(QFileSystemModel* files, QObject* parent) : QSortFilterProxyModel(parent), files_(files) {
    setSourceModel(files);
}

void FilesOnly::setOpenFolder(const QString& folder) {
    openFolder_ = folder;
    invalidateFilter();
}

bool FilesOnly::filterAcceptsRow(int row, const QModelIndex& parent) const {
    const QModelIndex index = files_->index(row, 0, parent);
    return !files_->isDir(index) || isInside(openFolder_, files_->filePath(index));
}

}  // namespace codekiln
