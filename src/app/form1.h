// The main window `Form1`: drive, folder and file lists on top, the panel
// with the three layout choices and the extension box below, and the three
// buttons that start a run, open the current backup folder and end the
// program. The window only collects the user's choices and calls the run;
// the run itself, the files, the settings store and the desktop live
// behind `FileSystem`, `SettingsStore` and `Desktop`.
#pragma once

#include <QHash>
#include <QString>
#include <QWidget>

#include "app/gui_ui.h"
#include "run/run_state.h"
#include "engine/state/format_options.h"

class QComboBox;
class QFileSystemModel;
class QFrame;
class QGroupBox;
class QLabel;
class QListView;
class QPushButton;
class QRadioButton;
class QTreeView;

namespace codekiln {

class Desktop;
class FileSystem;
class SettingsStore;
class DriveTree;
class FolderModel;
class FilesOnly;

/// `Form1`, the program's one window. It owns the session state for as long
/// as it lives.
class Form1 : public QWidget {
    Q_OBJECT

public:
    /// Creates the window and runs the start-up: `backupSlot` restored from
    /// the settings store, then the extension list filled.
    Form1(FileSystem& files, SettingsStore& settings, Desktop& desktop, QWidget* parent = nullptr);
    ~Form1() override;

    /// The folder `Dir1` has open: the one whose files `File1` shows and
    /// over which "处理代码" runs. Clean, absolute, '/' separators.
    QString openFolder() const { return openFolder_; }
    /// Opens `path` in `Dir1` (as double-clicking it would) and shows its
    /// files in `File1`. Returns false, leaving everything as it was, when
    /// the folder does not exist.
    bool setOpenFolder(const QString& path);

    /// The layout choices as the option buttons show them now.
    FormatOptions formatOptions() const;
    /// The slot "打开备份" opens and the next run advances.
    int backupSlot() const { return state_.backupSlot; }
    /// The backup folder of the current slot, in the backup root in use.
    QString backupFolder() const;

    /// Places the window in the middle of its screen's free area.
    void centreOnScreen();

    /// The run's message boxes and progress dialog.
    GuiUserInterface& userInterface() { return ui_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createLists();
    void createOptionPanel();
    void createButtons();
    void arrange();
    void startUp();
    /// Gives the lists fresh models of the disk, which watch it for changes.
    void attachModels();
    /// Opens the open folder anew, or the nearest folder above it that is left.
    void reopenFolder();

    void fillDrives();
    void selectDriveOf(const QString& folder);
    /// `Drive1` changed: `Dir1` moves to the chosen drive's current folder.
    void onDriveChosen(int index);
    /// "处理代码": a batch run over the open folder.
    void onCommand12();
    /// "打开备份": the current slot's backup folder in the file manager.
    void onCommand1();

    FileSystem& files_;
    SettingsStore& settings_;
    Desktop& desktop_;
    GuiUserInterface ui_;
    SessionState state_;
    bool running_ = false;  ///< a run is under way: the window takes no input

    QString openFolder_;
    bool revealOpenFolder_ = false;  ///< the tree follows the open folder until the user moves in it
    QString driveRoot_;                     ///< the drive `Drive1` shows
    QHash<QString, QString> driveFolders_;  ///< last open folder per drive

    FolderModel* folderModel_ = nullptr;
    DriveTree* driveTree_ = nullptr;  ///< `Dir1`'s view of folderModel_: the open drive
    QFileSystemModel* fileModel_ = nullptr;
    FilesOnly* filesOnly_ = nullptr;  ///< `File1`'s view of fileModel_: files only

    QComboBox* drive1_ = nullptr;       ///< `Drive1`: drives (mounted volumes)
    QTreeView* dir1_ = nullptr;         ///< `Dir1`: the drive's top folder and the folders below it
    QListView* file1_ = nullptr;        ///< `File1`: every ordinary file of the open folder
    QFrame* picture1_ = nullptr;        ///< `Picture1`: the panel holding the four frames
    QGroupBox* frame2_ = nullptr;       ///< `Frame2` "去除空格": the blank-line choice
    QRadioButton* option1_ = nullptr;   ///< `Option1` "保留空行"
    QRadioButton* option2_ = nullptr;   ///< `Option2` "去除空行"
    QGroupBox* frame3_ = nullptr;       ///< `Frame3` "else缩进"
    QRadioButton* option3_ = nullptr;   ///< `Option3` "缩  进"
    QRadioButton* option4_ = nullptr;   ///< `Option4` "不缩进"
    QGroupBox* frame4_ = nullptr;       ///< `Frame4` "子程序分割行"
    QRadioButton* option5_ = nullptr;   ///< `Option5` "显  示"
    QRadioButton* option6_ = nullptr;   ///< `Option6` "不显示"
    QGroupBox* frame1_ = nullptr;       ///< `Frame1` "文件类型"
    QComboBox* combo1_ = nullptr;       ///< `Combo1`: the extension, editable
    QPushButton* command12_ = nullptr;  ///< `Command12` "处理代码"
    QPushButton* command1_ = nullptr;   ///< `Command1` "打开备份"
    QPushButton* command2_ = nullptr;   ///< `Command2` "退    出"
    QLabel* label1_ = nullptr;          ///< `Label1`: the contact line
};

}  // namespace codekiln
