// The main window: its controls in their designed arrangement (positions
// given in twips, 15 twips to the pixel), start-up, the drive and folder
// lists, and the three buttons.
#include "app/form1.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QFileSystemModel>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSortFilterProxyModel>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/drive_list.h"
#include "app/folder_lists.h"
#include "app/failure_reasons.h"
#include "app/focus_frame.h"
#include "platform/paths.h"
#include "platform/desktop.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"
#include "run/chuli.h"
#include "run/run_batch.h"
#include "run/backup_slots.h"

namespace codekiln {

namespace {

/// Pixels (at 96 dpi) for a length in twips.
constexpr int px(int twips) { return twips / 15; }

// The window's inner area: 9540 x 5025 twips.
constexpr int kInnerWidth = px(9540);
constexpr int kInnerHeight = px(5025);

std::string toStd(const QString& text) { return text.toUtf8().toStdString(); }

QString fromStd(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

Form1::Form1(FileSystem& files, SettingsStore& settings, Desktop& desktop, QWidget* parent)
    : QWidget(parent), files_(files), settings_(settings), desktop_(desktop), ui_(this) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kProgramTitle);
    createLists();
    createOptionPanel();
    createButtons();
    arrange();
    startUp();
}

Form1::~Form1() = default;

void Form1::createLists() {
    drive1_ = new DriveBox(this);
    drive1_->setObjectName(QStringLiteral("Drive1"));

    dir1_ = new QTreeView(this);
    dir1_->setObjectName(QStringLiteral("Dir1"));
    dir1_->setHeaderHidden(true);
    // Double-clicking a folder opens it, and opening expands it, as Enter
    // does; the tree's own toggle would fold it up again at once.
    dir1_->setExpandsOnDoubleClick(false);
    // Narrow steps, as a folder list has them: with the drive's top folder
    // as a row of its own, the desktop's wide ones would cut off the names
    // of folders a few levels down.
    dir1_->setIndentation(12);
    // After the window is resized (maximised and restored) the open folder
    // is brought back into sight once the tree has laid itself out anew.
    dir1_->viewport()->installEventFilter(this);
    dir1_->installEventFilter(this);
    connect(dir1_->verticalScrollBar(), &QScrollBar::actionTriggered, this, [this]() { revealOpenFolder_ = false; });
    showKeyboardFocus(dir1_);

    file1_ = new QListView(this);
    file1_->setObjectName(QStringLiteral("File1"));
    showKeyboardFocus(file1_);
    attachModels();

    connect(drive1_, qOverload<int>(&QComboBox::activated), this, &Form1::onDriveChosen);
    // Opening a folder (double-click or Enter) moves the file list with it.
    connect(dir1_, &QTreeView::activated, this,
            [this](const QModelIndex& index) { setOpenFolder(driveTree_->pathOf(index)); });
}

void Form1::attachModels() {
    QFileSystemModel* oldFolders = folderModel_;
    QSortFilterProxyModel* oldDriveTree = driveTree_;
    QFileSystemModel* oldFiles = fileModel_;
    QSortFilterProxyModel* oldFilesOnly = filesOnly_;

    folderModel_ = new FolderModel(this);
    folderModel_->setIconProvider(noIcons());
    folderModel_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    folderModel_->setRootPath(QString());
    connect(folderModel_, &QFileSystemModel::directoryLoaded, this, [this](const QString& loaded) {
        folderModel_->sort(0, Qt::AscendingOrder);
        // Sorting moves rows: keep the open folder in sight while the
        // folders above it load, until the user moves in the tree. A folder
        // reloaded because it changed on disk must not pull the tree back.
        if (revealOpenFolder_ && isInside(openFolder_, loaded))
            dir1_->scrollTo(driveTree_->indexOf(openFolder_), QAbstractItemView::PositionAtCenter);
    });
    driveTree_ = new DriveTree(folderModel_, this);
    driveTree_->setDriveRoot(driveRoot_);

    fileModel_ = new QFileSystemModel(this);
    fileModel_->setIconProvider(noIcons());
    fileModel_->setFilter(QDir::Files);  // ordinary files; hidden ones left out
    filesOnly_ = new FilesOnly(fileModel_, this);
    // The views do not sort; the names are put in order once loaded.
    connect(fileModel_, &QFileSystemModel::directoryLoaded, this,
            [this]() { filesOnly_->sort(0, Qt::AscendingOrder); });

    // A view leaves its old selection model to whoever set the model.
    for (auto [view, model] : {std::pair<QAbstractItemView*, QAbstractItemModel*>{dir1_, driveTree_},
                               {file1_, filesOnly_}}) {
        QItemSelectionModel* oldSelection = view->selectionModel();
        view->setModel(model);
        delete oldSelection;
    }
    for (int column = 1; column < folderModel_->columnCount(); ++column) dir1_->hideColumn(column);
    delete oldFilesOnly;
    delete oldFiles;
    delete oldDriveTree;
    delete oldFolders;
}

void Form1::reopenFolder() {
    // The folder may have gone meanwhile: then the nearest one above it.
    for (QString folder = openFolder_; !folder.isEmpty(); folder = QFileInfo(folder).path()) {
        if (setOpenFolder(folder)) return;
        if (QDir(folder).isRoot()) break;
    }
    setOpenFolder(driveRoot_);
}

void Form1::createOptionPanel() {
    picture1_ = new QFrame(this);
    picture1_->setObjectName(QStringLiteral("Picture1"));
    picture1_->setFrameShape(QFrame::StyledPanel);

    auto makeFrame = [this](const char* name, const QString& caption) {
        auto* frame = new QGroupBox(caption, picture1_);
        frame->setObjectName(QLatin1String(name));
        return frame;
    };
    auto makeOption = [](QGroupBox* frame, const char* name, const QString& caption) {
        auto* option = new QRadioButton(caption, frame);
        option->setObjectName(QLatin1String(name));
        return option;
    };

    // Radio buttons sharing a parent exclude each other: one pair per frame.
    frame2_ = makeFrame("Frame2", QStringLiteral("去除空格"));
    option1_ = makeOption(frame2_, "Option1", QStringLiteral("保留空行"));
    option2_ = makeOption(frame2_, "Option2", QStringLiteral("去除空行"));
    frame3_ = makeFrame("Frame3", QStringLiteral("else缩进"));
    option3_ = makeOption(frame3_, "Option3", QStringLiteral("缩  进"));
    option4_ = makeOption(frame3_, "Option4", QStringLiteral("不缩进"));
    frame4_ = makeFrame("Frame4", QStringLiteral("子程序分割行"));
    option5_ = makeOption(frame4_, "Option5", QStringLiteral("显  示"));
    option6_ = makeOption(frame4_, "Option6", QStringLiteral("不显示"));
    option1_->setChecked(true);
    option3_->setChecked(true);
    option5_->setChecked(true);

    frame1_ = makeFrame("Frame1", QStringLiteral("文件类型"));
    combo1_ = new QComboBox(frame1_);
    combo1_->setObjectName(QStringLiteral("Combo1"));
    combo1_->setEditable(true);
    combo1_->setInsertPolicy(QComboBox::NoInsert);  // typed text is not added to the list
    // The text stays exactly as typed, case and blanks included: no
    // completion, and when editing ends the box only takes up a list item
    // that is spelt exactly like the text (a case-blind match would turn
    // ".F90" into ".f90" and skip the extension warning).
    auto* exactOnly = new QCompleter(QStringList(), combo1_);
    exactOnly->setCaseSensitivity(Qt::CaseSensitive);
    combo1_->setCompleter(exactOnly);
    combo1_->setEditText(QStringLiteral(".f90"));
}

void Form1::createButtons() {
    auto makeButton = [this](const char* name, const QString& caption) {
        QPushButton* button = new FocusButton(caption, this);
        button->setObjectName(QLatin1String(name));
        return button;
    };
    command12_ = makeButton("Command12", QStringLiteral("处理代码"));
    command1_ = makeButton("Command1", QStringLiteral("打开备份"));
    command2_ = makeButton("Command2", QStringLiteral("退    出"));
    label1_ = new QLabel(QStringLiteral("问题与建议：codekiln 维护者"), this);
    label1_->setObjectName(QStringLiteral("Label1"));

    connect(command12_, &QPushButton::clicked, this, &Form1::onCommand12);
    connect(command1_, &QPushButton::clicked, this, &Form1::onCommand1);
    connect(command2_, &QPushButton::clicked, this, &QWidget::close);
}

// The designed arrangement, as layouts: each control starts at
// its size in twips and the layouts give more room where a font or a
// high-DPI screen needs it, so no Chinese caption is clipped.
void Form1::arrange() {
    auto addOptions = [](QGroupBox* frame, QWidget* first, QWidget* second) {
        auto* column = new QVBoxLayout(frame);
        column->setContentsMargins(px(240), px(120), px(120), px(60));
        column->setSpacing(px(600 - 240 - 255));
        column->addWidget(first);
        if (second) column->addWidget(second);
        column->addStretch();
    };
    addOptions(frame2_, option1_, option2_);
    addOptions(frame3_, option3_, option4_);
    addOptions(frame4_, option5_, option6_);
    addOptions(frame1_, combo1_, nullptr);

    frame2_->setMinimumWidth(px(1815));
    frame3_->setMinimumWidth(px(1815));
    frame4_->setMinimumWidth(px(1815));
    frame1_->setMinimumWidth(px(1695));
    combo1_->setMinimumWidth(px(1095));

    // Picture1: the four frames in a row, with the designed gaps between them.
    auto* panel = new QHBoxLayout(picture1_);
    panel->setContentsMargins(px(240), px(120), px(240), px(120));
    panel->setSpacing(0);
    // The gaps shrink with the window, but never below a least gap, so
    // that the frames never touch.
    constexpr int kLeastGap = px(240);
    panel->addWidget(frame2_);
    panel->addSpacing(kLeastGap);
    panel->addStretch(px(2520 - 240 - 1815) - kLeastGap);
    panel->addWidget(frame3_);
    panel->addSpacing(kLeastGap);
    panel->addStretch(px(4800 - 2520 - 1815) - kLeastGap);
    panel->addWidget(frame4_);
    panel->addSpacing(kLeastGap);
    panel->addStretch(px(7200 - 4800 - 1815) - kLeastGap);
    panel->addWidget(frame1_);
    // Never lower than its frames need, or a small window clips the options.
    picture1_->setMinimumHeight(std::max(px(1215), picture1_->minimumSizeHint().height()));

    // Drive list over folder list on the left, file list on the right.
    auto* left = new QVBoxLayout;
    left->setSpacing(px(720 - 360 - 300));
    left->addWidget(drive1_);
    left->addWidget(dir1_, 1);
    auto* lists = new QHBoxLayout;
    lists->setSpacing(px(3000 - 240 - 2655));
    lists->addLayout(left, px(2655));
    lists->addWidget(file1_, px(6375));

    // The label bottom left, the three buttons bottom right, side by side.
    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(0);
    bottom->addSpacing(px(960 - 240));
    bottom->addWidget(label1_, 0, Qt::AlignBottom);
    bottom->addStretch(1);
    for (QPushButton* button : {command12_, command1_, command2_}) {
        button->setMinimumHeight(px(375));
        bottom->addWidget(button);
    }
    command12_->setMinimumWidth(px(975));
    command1_->setMinimumWidth(px(1095));
    command2_->setMinimumWidth(px(975));

    auto* window = new QVBoxLayout(this);
    window->setContentsMargins(px(240), px(360), kInnerWidth - px(240 + 9135), px(120));
    window->setSpacing(px(3240 - 360 - 2790));
    window->addLayout(lists, 1);
    window->addWidget(picture1_);
    window->addLayout(bottom);

    resize(QSize(kInnerWidth, kInnerHeight).expandedTo(minimumSizeHint()));
}

void Form1::startUp() {
    // 1. The backup slot as stored by the last run that processed a file.
    state_.backupSlot = readStoredSlot(settings_);

    // 2. The extension list; the text stays ".f90".
    combo1_->addItems({QStringLiteral(".f90"), QStringLiteral(".for"), QStringLiteral(".f")});
    combo1_->setEditText(QStringLiteral(".f90"));

    // The lists start at the process's current folder.
    fillDrives();
    setOpenFolder(QDir::currentPath());
    // The keyboard starts where the user starts: choosing the folder.
    dir1_->setFocus();
}

void Form1::fillDrives() {
    const QSignalBlocker blocker(drive1_);
    drive1_->clear();
    for (const DriveEntry& drive : listDrives()) drive1_->addItem(drive.label, drive.root);
}

void Form1::selectDriveOf(const QString& folder) {
    QString root = driveRootOf(folder);
    const QSignalBlocker blocker(drive1_);
    int index = drive1_->findData(root);
    if (index < 0) {
        drive1_->addItem(driveLabel(root), root);
        index = drive1_->count() - 1;
    }
    drive1_->setCurrentIndex(index);
    driveRoot_ = root;
}

bool Form1::setOpenFolder(const QString& path) {
    QString folder = QDir::cleanPath(QDir(path).absolutePath());
    if (!QFileInfo(folder).isDir()) return false;

    if (!isInside(folder, driveRoot_)) selectDriveOf(folder);
    openFolder_ = folder;
    driveFolders_.insert(driveRoot_, folder);

    revealOpenFolder_ = true;
    folderModel_->setOpenFolder(folder);
    driveTree_->setDriveRoot(driveRoot_);
    dir1_->setRootIndex(driveTree_->viewRoot());
    QModelIndex open = driveTree_->indexOf(folder);
    for (QModelIndex above = open.parent(); above.isValid(); above = above.parent()) dir1_->expand(above);
    dir1_->expand(open);
    dir1_->setCurrentIndex(open);
    dir1_->scrollTo(open, QAbstractItemView::PositionAtCenter);
    dir1_->setToolTip(QDir::toNativeSeparators(folder));

    fileModel_->setRootPath(folder);
    filesOnly_->setOpenFolder(folder);
    file1_->setRootIndex(filesOnly_->mapFromSource(fileModel_->index(folder)));
    return true;
}

void Form1::onDriveChosen(int index) {
    QString root = drive1_->itemData(index).toString();
    if (root == driveRoot_) return;
    if (!isDriveReady(root)) {
        // The folder list keeps its open folder; the drive list goes back to it.
        const QSignalBlocker blocker(drive1_);
        drive1_->setCurrentIndex(drive1_->findData(driveRoot_));
        ui_.messageOk(toStd(
            QStringLiteral("驱动器 %1 未就绪，文件夹列表保持不变。").arg(QDir::toNativeSeparators(root))));
        return;
    }
    QString previous = driveRoot_;
    driveRoot_ = root;
    QString folder = driveFolders_.value(root, root);
    if (!setOpenFolder(folder) && !setOpenFolder(root)) {
        driveRoot_ = previous;
        const QSignalBlocker blocker(drive1_);
        drive1_->setCurrentIndex(drive1_->findData(driveRoot_));
    }
}

FormatOptions Form1::formatOptions() const {
    FormatOptions options;
    options.removeBlankLines = option2_->isChecked();
    options.indentElse = option3_->isChecked();
    options.showSeparators = option5_->isChecked();
    options.form = SourceForm::Auto;  // .f .for .ftn .f77 keep their fixed columns
    return options;
}

QString Form1::backupFolder() const {
    QString root = fromStd(files_.backupRoot());
    return QDir::toNativeSeparators(
        QDir::cleanPath(root + QLatin1Char('/') + fromStd(backupFolderName(state_.backupSlot))));
}

void Form1::onCommand12() {
    if (running_) return;
    running_ = true;
    // The lists show names only: they stop watching the disk while the run
    // rewrites every file, which would otherwise cost the run a folder scan
    // per file, and a third of its time.
    for (QFileSystemModel* model : {static_cast<QFileSystemModel*>(folderModel_), fileModel_})
        model->setOption(QFileSystemModel::DontWatchForChanges, true);
    ui_.startRun();
    // The run shows its own messages, the summary included.
    BatchOutcome outcome =
        runBatch(toStd(combo1_->currentText()), toStd(QDir::toNativeSeparators(openFolder_)), state_,
                 formatOptions(), files_, settings_, ui_);
    ui_.endRun();
    // The lists follow the disk again. A model that once stopped watching
    // never watches its loaded folders again, so fresh ones take over.
    attachModels();
    reopenFolder();
    // A folder that could not be listed looks like an empty one in the
    // summary; the user is told why.
    if (!outcome.listed)
        ui_.messageOk(toStd(QStringLiteral("无法列出文件夹中的文件：\r\n")) +
                      chineseText(outcome.listed.reason));
    running_ = false;
}

void Form1::onCommand1() {
    const QString folder = backupFolder();
    // A slot whose run found no file, or 备份0 before any run, has no
    // folder: a file manager asked for it shows something else or nothing.
    if (!QFileInfo(folder).isDir()) {
        ui_.messageOk(toStd(QStringLiteral("备份文件夹还不存在：处理过文件后才会建立。\r\n") + folder));
        return;
    }
    // The folder goes to the file manager as one argument, blanks and all.
    const Status opened = desktop_.openFolder(toStd(folder));
    if (opened) return;
    // The platform's reason names a program the user may never have heard
    // of; what helps is the folder's path, to open it by hand.
    const bool noOpener = opened.code() == Why::CannotStart;
    ui_.messageOk(toStd((noOpener ? QStringLiteral("无法打开备份文件夹：没有找到可以打开它的文件管理器。\r\n")
                                  : QStringLiteral("无法打开备份文件夹：文件管理器没能打开它。\r\n")) +
                        QStringLiteral("请在文件管理器中手动打开以下文件夹：\r\n") + folder));
}

void Form1::centreOnScreen() {
    QScreen* screen = this->screen();
    if (!screen) return;
    QRect free = screen->availableGeometry();
    QRect frame = frameGeometry();
    frame.moveCenter(free.center());
    move(frame.topLeft());
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    const bool userMoves = event->type() == QEvent::MouseButtonPress || event->type() == QEvent::Wheel ||
                           event->type() == QEvent::KeyPress;
    if ((watched == dir1_ || watched == dir1_->viewport()) && userMoves) revealOpenFolder_ = false;
    if (watched == dir1_->viewport() && event->type() == QEvent::Resize) {
        // Queued: the tree's scroll range is only right once it has handled
        // its own resize.
        QMetaObject::invokeMethod(
            this,
            [this]() {
                dir1_->scrollTo(driveTree_->indexOf(openFolder_), QAbstractItemView::EnsureVisible);
            },
            Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event) {
    if (running_) {
        event->ignore();  // a run is finished before the program ends
        return;
    }
    event->accept();  // the last window closed ends the program
}

}  // namespace codekiln
