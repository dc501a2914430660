// The main window driven as a user drives it, on the offscreen platform:
// start-up state, the stored slot read back, option pairs, runs started with
// "处理代码" and answered through the real message boxes, "打开备份", the
// drive and folder lists, and the progress dialog of a long run.
#include "app/form1.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <memory>

#include "app/failure_reasons.h"
#include "app/message_dialog.h"
#include "engine/format/format_file.h"
#include "platform/qt_platform.h"
#include "run/reason_text.h"

using namespace codekiln;

Q_DECLARE_METATYPE(codekiln::Reason)

namespace {

/// What a message box showed.
struct SeenBox {
    QString text;
    bool plain;  ///< the program's title, no icon, the first button the default
    QString details = {};
};

/// Answers, in order, the message boxes that appear while it lives.
class BoxAnswerer : public QObject {
public:
    explicit BoxAnswerer(QList<QMessageBox::StandardButton> answers) : answers_(std::move(answers)) {
        connect(&timer_, &QTimer::timeout, this, &BoxAnswerer::poll);
        timer_.start(10);
    }
    QList<SeenBox> seen;

private:
    void poll() {
        auto* box = qobject_cast<MessageDialog*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        seen.append({box->text(),
                     box->windowTitle() == kProgramTitle && box->firstButton()->isDefault() &&
                         box->findChildren<QLabel*>().isEmpty(),  // no icon
                     box->details()});
        // A box beyond the expected ones is closed, and shows up in `seen`.
        const auto answer = answers_.isEmpty() ? QMessageBox::NoButton : answers_.takeFirst();
        answer == QMessageBox::Yes || answer == QMessageBox::Ok ? box->firstButton()->click() : box->reject();
    }

    QList<QMessageBox::StandardButton> answers_;
    QTimer timer_;
};

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

/// What a run leaves in its first file: the engine's text for the first file
/// of a fresh session with the same options, and its code-line count.
QByteArray expectedFormat(const QByteArray& input, const FormatOptions& options, qint64& lineCount) {
    DoLabelRecord fresh;
    const FormattedFile formatted = formatText(input.toStdString(), options, fresh);
    lineCount = formatted.lineCount;
    return QByteArray::fromStdString(formatted.text);
}

// Blank lines, an else and two program units: every layout choice shows.
const QByteArray kProgram =
    "program demo\ninteger :: i\n\nif (i > 0) then\ni = 1\nelse\ni = 2\nend if\nend program demo\n"
    "subroutine two(a, b)\nreal a, b\na = b\nend subroutine two\n";

const QString kWarning = QStringLiteral(
    "您要格式化的文件为非自由格式(非f90格式)\n格式化后可能会导致程序无法正常运行，是否要继续格式化?");
// %1 the name; %2 the line count and %3 the slot, filled in later.
const QString kSummary =
    QStringLiteral("本次共处理代码%2行，文件1个，分别为,%1，本次运行备份文件在备份%3文件夹中");

}  // namespace

class Form1Test : public QObject {
    Q_OBJECT

private slots:
    void init();
    void startUpState();
    void arrangement();
    void storedSlot_data();
    void storedSlot();
    void optionPairs_data();
    void optionPairs();
    void runFormatsFolder_data();
    void runFormatsFolder();
    void extensionWarning_data();
    void extensionWarning();
    void openBackup_data();
    void openBackup();
    void driveAndFolderLists();
    void driveNotReady();
    void exitButtonCloses();
    void progressDialog_data();
    void progressDialog();
    void summaryReadable_data();
    void summaryReadable();
    void fileListAfterParent();
    void cancelStopsBetweenFiles_data();
    void cancelStopsBetweenFiles();
    void chineseButtonsAndKeys();
    void reasonsInChinese_data();
    void reasonsInChinese();
    void everyReasonHasBothWordings();
    void runShowsFailuresInChinese();
    void enterPressesFocusedButton_data();
    void enterPressesFocusedButton();
    void focusVisible();
    void listsFollowDiskAfterRun();
    void treeStaysWhereTheUserScrolled();
    void minimumSizeKeepsOptionsWhole();
    void boxFitsItsText_data();
    void boxFitsItsText();

private:
    /// A shown window over a fresh settings store holding `storedSlot`
    /// (nothing when null), with its backups under a folder with blanks.
    Form1& makeForm(const char* storedSlot = nullptr);
    template <typename T>
    T* control(const char* name) {
        T* widget = form_->findChild<T*>(QLatin1String(name));
        if (!widget) qFatal("no control %s", name);
        return widget;
    }
    void click(const char* name) { QTest::mouseClick(control<QAbstractButton>(name), Qt::LeftButton); }
    /// Presses "处理代码" over the work folder, answering the boxes in order.
    QList<SeenBox> run(QList<QMessageBox::StandardButton> answers) {
        form_->setOpenFolder(work_->path());
        BoxAnswerer answerer(std::move(answers));
        click("Command12");
        return answerer.seen;
    }

    std::unique_ptr<QTemporaryDir> temp_;
    std::unique_ptr<QTemporaryDir> work_;
    std::unique_ptr<QtPlatform> platform_;
    std::unique_ptr<Form1> form_;
    QStringList opened_;  ///< folders handed to the file manager
    Status openerAnswer_;  ///< what the file manager's opener reports
    QString backupRoot_;
};

void Form1Test::init() {
    form_.reset();
    temp_ = std::make_unique<QTemporaryDir>();
    work_ = std::make_unique<QTemporaryDir>();
    QVERIFY(temp_->isValid() && work_->isValid());
    opened_.clear();
    openerAnswer_ = Status::success();
}

Form1& Form1Test::makeForm(const char* storedSlot) {
    backupRoot_ = temp_->filePath(QStringLiteral("Program Files/代码 工具"));
    QtPlatformOptions options;
    options.settingsFile = temp_->filePath(QStringLiteral("settings.ini")).toStdString();
    options.backupRoot = backupRoot_.toStdString();
    options.folderOpener = [this](const std::string& folder) {
        opened_.append(QString::fromStdString(folder));
        return openerAnswer_;
    };
    platform_ = std::make_unique<QtPlatform>(options);
    if (storedSlot) platform_->writeSetting("chuli", "benfencishu", storedSlot);
    form_ = std::make_unique<Form1>(*platform_, *platform_, *platform_);
    form_->show();
    if (!QTest::qWaitForWindowExposed(form_.get())) qFatal("window not shown");
    return *form_;
}

void Form1Test::startUpState() {
    Form1& form = makeForm();
    QCOMPARE(form.windowTitle(), kProgramTitle);
    auto* combo = control<QComboBox>("Combo1");
    QCOMPARE(combo->currentText(), QStringLiteral(".f90"));
    QVERIFY(combo->isEditable());
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items.append(combo->itemText(i));
    QCOMPARE(items, (QStringList{".f90", ".for", ".f"}));

    // Every caption as the user reads it, inner blanks included.
    const QList<QPair<const char*, const char*>> captions = {
        {"Frame2", "去除空格"},     {"Option1", "保留空行"},   {"Option2", "去除空行"},
        {"Frame3", "else缩进"},     {"Option3", "缩  进"},     {"Option4", "不缩进"},
        {"Frame4", "子程序分割行"}, {"Option5", "显  示"},     {"Option6", "不显示"},
        {"Frame1", "文件类型"},     {"Command12", "处理代码"}, {"Command1", "打开备份"},
        {"Command2", "退    出"},
    };
    for (const auto& [name, caption] : captions) {
        auto* frame = form.findChild<QGroupBox*>(QLatin1String(name));
        QCOMPARE(frame ? frame->title() : control<QAbstractButton>(name)->text(), QString::fromUtf8(caption));
    }
    for (const char* name : {"Option1", "Option3", "Option5"})
        QVERIFY2(control<QRadioButton>(name)->isChecked(), name);
    for (const char* name : {"Option2", "Option4", "Option6"})
        QVERIFY2(!control<QRadioButton>(name)->isChecked(), name);
    FormatOptions options = form.formatOptions();
    QVERIFY(!options.removeBlankLines && options.indentElse && options.showSeparators);
    QCOMPARE(options.form, SourceForm::Auto);  // fixed-form files keep their columns

    QCOMPARE(form.openFolder(), QDir::cleanPath(QDir::currentPath()));
    QCOMPARE(form.backupSlot(), 0);
}

void Form1Test::arrangement() {
    Form1& form = makeForm();
    if (qEnvironmentVariableIsSet("CODEKILN_SCREENSHOT"))
        form.grab().save(qEnvironmentVariable("CODEKILN_SCREENSHOT"));
    QVERIFY(form.width() >= 636 && form.height() >= 335);
    auto at = [this](const char* name) {
        QWidget* widget = control<QWidget>(name);
        return QRect(widget->mapTo(form_.get(), QPoint(0, 0)), widget->size());
    };
    QRect drive = at("Drive1"), dir = at("Dir1"), file = at("File1"), panel = at("Picture1");
    QRect label = at("Label1"), run = at("Command12"), backup = at("Command1"), quit = at("Command2");
    QVERIFY(drive.bottom() < dir.top() && drive.left() == dir.left());
    QVERIFY(file.left() > dir.right() && file.top() == drive.top());
    QVERIFY(panel.top() > dir.bottom() && panel.top() > file.bottom());
    QVERIFY(run.top() > panel.bottom() && label.top() > panel.bottom() && label.right() < run.left());
    QVERIFY(run.right() <= backup.left() && backup.right() <= quit.left() &&
            quit.right() >= file.right() - 2);
    for (const char* name : {"Frame2", "Frame3", "Frame4", "Frame1"})
        QVERIFY2(panel.contains(at(name)), name);

    // No caption is cut off, whatever font the platform chose.
    for (QAbstractButton* button : form.findChildren<QAbstractButton*>()) {
        QFontMetrics metrics = button->fontMetrics();
        QVERIFY2(button->width() > metrics.horizontalAdvance(button->text()) &&
                     button->height() >= metrics.height(),
                 qPrintable(button->objectName()));
    }
    for (QGroupBox* frame : form.findChildren<QGroupBox*>())
        QVERIFY2(frame->width() > frame->fontMetrics().horizontalAdvance(frame->title()),
                 qPrintable(frame->objectName()));
    auto* contact = control<QLabel>("Label1");
    QVERIFY(contact->width() >= contact->fontMetrics().horizontalAdvance(contact->text()));
}

void Form1Test::storedSlot_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("slot");
    QTest::newRow("nothing stored") << QByteArray() << 0;
    QTest::newRow("a plain slot") << QByteArray("3") << 3;
    QTest::newRow("leading blanks") << QByteArray("   4") << 4;
    QTest::newRow("trailing text") << QByteArray("2abc") << 2;
    QTest::newRow("no digits") << QByteArray("abc") << 0;
    QTest::newRow("half to even, down") << QByteArray("2.5") << 2;
    QTest::newRow("half to even, up") << QByteArray("3.5") << 4;
    QTest::newRow("half of zero") << QByteArray("0.5") << 0;
    QTest::newRow("just above half") << QByteArray("2.5000001") << 3;
    QTest::newRow("below half") << QByteArray("4.49") << 4;
    QTest::newRow("fraction only") << QByteArray(".6") << 1;
    QTest::newRow("plus sign") << QByteArray("+5") << 5;
    QTest::newRow("negative") << QByteArray("-1") << 0;
    QTest::newRow("rounds past five") << QByteArray("5.5") << 0;
    QTest::newRow("beyond the slots") << QByteArray("6") << 0;
    QTest::newRow("beyond 16 bits") << QByteArray("70000") << 0;
    QTest::newRow("huge") << QByteArray("99999999999999999999999") << 0;
}

void Form1Test::storedSlot() {
    QFETCH(QByteArray, stored);
    QFETCH(int, slot);
    Form1& form = makeForm(stored.isNull() ? nullptr : stored.constData());
    QCOMPARE(form.backupSlot(), slot);
    QCOMPARE(form.backupFolder(), QDir::toNativeSeparators(backupRoot_ + "/备份" + QString::number(slot)));
}

void Form1Test::optionPairs_data() {
    QTest::addColumn<QString>("clicked");
    QTest::addColumn<QString>("partner");
    QTest::addColumn<int>("flag");  // 0 removeBlankLines, 1 indentElse, 2 showSeparators
    QTest::addColumn<bool>("value");
    QTest::newRow("去除空行") << "Option2"
                              << "Option1" << 0 << true;
    QTest::newRow("保留空行") << "Option1"
                              << "Option2" << 0 << false;
    QTest::newRow("不缩进") << "Option4"
                            << "Option3" << 1 << false;
    QTest::newRow("缩  进") << "Option3"
                            << "Option4" << 1 << true;
    QTest::newRow("不显示") << "Option6"
                            << "Option5" << 2 << false;
    QTest::newRow("显  示") << "Option5"
                            << "Option6" << 2 << true;
}

void Form1Test::optionPairs() {
    QFETCH(QString, clicked);
    QFETCH(QString, partner);
    QFETCH(int, flag);
    QFETCH(bool, value);
    Form1& form = makeForm();
    click(qPrintable(partner));  // from the other choice, so the click moves the pair
    click(qPrintable(clicked));
    QVERIFY(control<QRadioButton>(qPrintable(clicked))->isChecked());
    QVERIFY(!control<QRadioButton>(qPrintable(partner))->isChecked());
    FormatOptions options = form.formatOptions();
    const bool flags[] = {options.removeBlankLines, options.indentElse, options.showSeparators};
    QCOMPARE(flags[flag], value);
    int selected = 0;  // one per pair, the other pairs untouched
    for (QRadioButton* option : form.findChildren<QRadioButton*>()) selected += option->isChecked() ? 1 : 0;
    QCOMPARE(selected, 3);
}

void Form1Test::runFormatsFolder_data() {
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<bool>("removeBlankLines");
    QTest::addColumn<bool>("indentElse");
    QTest::addColumn<bool>("showSeparators");
    QTest::newRow("start choices") << QStringList() << false << true << true;
    QTest::newRow("every other choice")
        << QStringList{"Option2", "Option4", "Option6"} << true << false << false;
    QTest::newRow("blank lines removed only") << QStringList{"Option2"} << true << true << true;
}

void Form1Test::runFormatsFolder() {
    QFETCH(QStringList, clicks);
    FormatOptions options;
    QFETCH(bool, removeBlankLines);
    QFETCH(bool, indentElse);
    QFETCH(bool, showSeparators);
    options = {removeBlankLines, indentElse, showSeparators};
    writeBytes(work_->filePath("main.f90"), kProgram);
    writeBytes(work_->filePath("notes.txt"), "not fortran\n");
    Form1& form = makeForm("2");
    for (const QString& name : clicks) click(qPrintable(name));

    QList<SeenBox> seen = run({QMessageBox::Ok});
    qint64 lines = 0;
    QByteArray expected = expectedFormat(kProgram, options, lines);
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen[0].text, kSummary.arg("main.f90").arg(lines).arg(3));
    QVERIFY(seen[0].plain);
    QCOMPARE(readBytes(work_->filePath("main.f90")), expected);
    QCOMPARE(readBytes(work_->filePath("notes.txt")), QByteArray("not fortran\n"));
    QCOMPARE(readBytes(backupRoot_ + "/备份3/main.f90"), kProgram);
    QCOMPARE(form.backupSlot(), 3);
    QCOMPARE(platform_->readSetting("chuli", "benfencishu"), std::string("3"));
}

void Form1Test::extensionWarning_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<int>("slot");  // 0: the run stopped before it began, nothing changed
    const int yes = QMessageBox::Yes, no = QMessageBox::No;
    QTest::newRow(".for, No") << ".for"
                              << "a.for" << no << QStringList{kWarning} << 0;
    QTest::newRow(".for, Yes") << ".for"
                               << "a.for" << yes << QStringList{kWarning, kSummary.arg("a.for")} << 1;
    QTest::newRow(".F90 typed") << ".F90"
                                << "a.f90" << yes << QStringList{kWarning, kSummary.arg("a.f90")} << 1;
    QTest::newRow("blanks around .f90") << " .f90 "
                                        << "a.f90" << yes << QStringList{kWarning, kSummary.arg("a.f90")} << 1;
    QTest::newRow(".f, No") << ".f"
                            << "a.f" << no << QStringList{kWarning} << 0;
    QTest::newRow("blanks, Yes") << "   "
                                 << "a.f90" << yes << QStringList{kWarning, "请选择文件类型"} << 0;
    QTest::newRow("blanks, No") << "   "
                                << "a.f90" << no << QStringList{kWarning} << 0;
}

void Form1Test::extensionWarning() {
    QFETCH(QString, typed);
    QFETCH(QString, file);
    QFETCH(int, answer);
    QFETCH(QStringList, boxes);
    QFETCH(int, slot);
    writeBytes(work_->filePath(file), kProgram);
    Form1& form = makeForm();
    QLineEdit* edit = control<QComboBox>("Combo1")->lineEdit();
    edit->selectAll();
    QTest::keyClicks(edit, typed);  // typed into the box, as a user would
    // Ending the edit must not swap the text for a list item spelt alike.
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Tab);
    QCOMPARE(control<QComboBox>("Combo1")->currentText(), typed);

    QList<SeenBox> seen = run({QMessageBox::StandardButton(answer), QMessageBox::Ok});
    QVERIFY(!seen.isEmpty() && seen[0].plain);  // Yes is the default
    QStringList texts;
    for (const SeenBox& box : seen) texts.append(box.text);
    if (slot != 0) {
        qint64 lines = 0;
        FormatOptions own;  // each file in its own form: .for is fixed
        own.form = formForFile(SourceForm::Auto, file.toStdString());
        QCOMPARE(readBytes(work_->filePath(file)), expectedFormat(kProgram, own, lines));
        boxes.last() = boxes.last().arg(lines).arg(slot);
    } else {
        QCOMPARE(readBytes(work_->filePath(file)), kProgram);
        QVERIFY(!QDir(backupRoot_ + "/备份1").exists());
    }
    QCOMPARE(texts, boxes);
    QCOMPARE(form.backupSlot(), slot);
}

void Form1Test::openBackup_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("runOver");  // a run first, over a folder holding this file ("-": none)
    QTest::addColumn<bool>("makeFolder");  // the slot's folder made beforehand
    QTest::addColumn<int>("opener");       // the opener's failure (a Why), None when it opens the folder
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("box");  // the start of the message shown, "" for none
    const QString missing = QStringLiteral("备份文件夹还不存在");
    const int opens = int(Why::None);
    QTest::newRow("nothing stored") << QByteArray() << "" << false << opens << 0 << missing;
    QTest::newRow("slot 3 stored") << QByteArray("3") << "" << true << opens << 3 << "";
    QTest::newRow("slot 3 stored, no folder") << QByteArray("3") << "" << false << opens << 3 << missing;
    QTest::newRow("after a run from 3 without files")
        << QByteArray("3") << "-" << false << opens << 4 << missing;
    QTest::newRow("after a run from 5") << QByteArray("5") << "a.f90" << false << opens << 1 << "";
    QTest::newRow("no file manager") << QByteArray("3") << "" << true << int(Why::CannotStart) << 3
                                     << QStringLiteral("无法打开备份文件夹：没有找到");
    QTest::newRow("file manager fails") << QByteArray("3") << "" << true << int(Why::OpenerFailed) << 3
                                        << QStringLiteral("无法打开备份文件夹：文件管理器没能打开它");
}

void Form1Test::openBackup() {
    QFETCH(QByteArray, stored);
    QFETCH(QString, runOver);
    QFETCH(bool, makeFolder);
    QFETCH(int, opener);
    QFETCH(int, slot);
    QFETCH(QString, box);
    makeForm(stored.isNull() ? nullptr : stored.constData());
    if (runOver.endsWith(".f90")) writeBytes(work_->filePath(runOver), kProgram);
    if (!runOver.isEmpty()) {
        QCOMPARE(run({QMessageBox::Ok}).size(), 1);
        // Without files the slot advances in memory only.
        if (runOver == "-") QCOMPARE(platform_->readSetting("chuli", "benfencishu"), stored.toStdString());
    }
    const QString folder = QDir::toNativeSeparators(backupRoot_ + "/备份" + QString::number(slot));
    if (makeFolder) QVERIFY(QDir().mkpath(folder));
    if (opener != int(Why::None))
        openerAnswer_ = Status::failure(static_cast<Why>(opener), folder.toStdString(), "xdg-open").at(3);
    BoxAnswerer answerer({QMessageBox::Ok});
    click("Command1");
    QCOMPARE(answerer.seen.size(), box.isEmpty() ? 0 : 1);
    if (!box.isEmpty()) {
        QVERIFY2(answerer.seen[0].text.startsWith(box) && answerer.seen[0].text.endsWith(folder),
                 qPrintable(answerer.seen[0].text));
    }
    // One argument, the blanks of the folder's path kept inside it; never
    // a folder that is not there.
    QCOMPARE(opened_, box.startsWith(QStringLiteral("备份")) ? QStringList() : QStringList{folder});
}

void Form1Test::driveAndFolderLists() {
    QDir(work_->path()).mkpath("sub/deeper");
    for (const char* name : {"top.f90", "readme.txt", ".hidden", "sub/inner.for"})
        writeBytes(work_->filePath(name), "end\n");
    Form1& form = makeForm();
    auto* drive1 = control<QComboBox>("Drive1");
    auto* dir1 = control<QTreeView>("Dir1");
    auto* file1 = control<QListView>("File1");
    auto shownFiles = [file1]() {
        QStringList names;
        for (int row = 0; row < file1->model()->rowCount(file1->rootIndex()); ++row)
            names.append(file1->model()->index(row, 0, file1->rootIndex()).data().toString());
        return names;
    };
    auto chooseDrive = [drive1](int index) {
        drive1->setCurrentIndex(index);
        emit drive1->activated(index);
    };

    // A volume mounted at the work folder: choosing it moves the folder list
    // there, and the file list shows every ordinary file, any extension.
    const int startDrive = drive1->currentIndex();  // the current folder's drive
    drive1->addItem(QStringLiteral("work"), QDir::cleanPath(work_->path()));
    const int workDrive = drive1->count() - 1;
    chooseDrive(workDrive);
    QCOMPARE(form.openFolder(), QDir::cleanPath(work_->path()));
    QTRY_COMPARE(shownFiles(), (QStringList{"readme.txt", "top.f90"}));

    // The drive's top folder is the tree's one top row, its folders below.
    QCOMPARE(dir1->model()->rowCount(dir1->rootIndex()), 1);
    const QPersistentModelIndex top = dir1->model()->index(0, 0, dir1->rootIndex());
    QCOMPARE(dir1->model()->data(top, QFileSystemModel::FilePathRole).toString(), QDir::cleanPath(work_->path()));
    QTRY_COMPARE(dir1->model()->rowCount(top), 1);

    // Opening a sub-folder moves the file list only.
    emit dir1->activated(dir1->model()->index(0, 0, top));
    QCOMPARE(form.openFolder(), QDir::cleanPath(work_->filePath("sub")));
    QTRY_COMPARE(shownFiles(), QStringList{"inner.for"});
    QCOMPARE(drive1->currentIndex(), workDrive);
    // The top folder can be opened again.
    emit dir1->activated(dir1->model()->index(0, 0, dir1->rootIndex()));
    QCOMPARE(form.openFolder(), QDir::cleanPath(work_->path()));
    // A double-click opens a folder and leaves it expanded, as Enter does.
    const QPersistentModelIndex sub = dir1->model()->index(0, 0, dir1->model()->index(0, 0, dir1->rootIndex()));
    dir1->collapse(sub);  // as the user left it
    const QPoint onSub = dir1->visualRect(sub).center();
    QTest::mouseClick(dir1->viewport(), Qt::LeftButton, {}, onSub);  // the first click of the two
    QTest::mouseDClick(dir1->viewport(), Qt::LeftButton, {}, onSub);
    QCOMPARE(form.openFolder(), QDir::cleanPath(work_->filePath("sub")));
    QTest::qWait(20);
    QVERIFY(dir1->isExpanded(sub));

    // Away and back: the drive's folder is the one last open on it.
    chooseDrive(startDrive);
    QCOMPARE(form.openFolder(), QDir::cleanPath(QDir::currentPath()));
    chooseDrive(workDrive);
    QCOMPARE(form.openFolder(), QDir::cleanPath(work_->filePath("sub")));
}

void Form1Test::driveNotReady() {
    Form1& form = makeForm();
    form.setOpenFolder(work_->path());
    auto* drive1 = control<QComboBox>("Drive1");
    const int before = drive1->currentIndex();
    drive1->addItem(QStringLiteral("gone"), work_->filePath("no such volume"));
    BoxAnswerer answerer({QMessageBox::Ok});
    drive1->setCurrentIndex(drive1->count() - 1);
    emit drive1->activated(drive1->count() - 1);

    QCOMPARE(answerer.seen.size(), 1);
    QVERIFY2(answerer.seen[0].text.contains(QStringLiteral("未就绪")), qPrintable(answerer.seen[0].text));
    QCOMPARE(form.openFolder(), QDir::cleanPath(work_->path()));
    QCOMPARE(drive1->currentIndex(), before);
}

void Form1Test::exitButtonCloses() {
    Form1& form = makeForm();
    click("Command2");
    QVERIFY(!form.isVisible());
}

void Form1Test::progressDialog_data() {
    QTest::addColumn<int>("waitMs");
    QTest::addColumn<bool>("shown");
    QTest::newRow("quick run") << 0 << false;
    QTest::newRow("long run") << GuiUserInterface::kProgressDelayMs + 100 << true;
}

void Form1Test::progressDialog() {
    QFETCH(int, waitMs);
    QFETCH(bool, shown);
    QWidget parent;
    parent.show();
    GuiUserInterface ui(&parent);
    ui.startRun();
    QThread::msleep(static_cast<unsigned long>(waitMs));
    ui.progress(1, 3, "b.f90");
    auto* dialog = parent.findChild<QProgressDialog*>();
    QCOMPARE(dialog != nullptr && dialog->isVisible(), shown);
    if (shown) {
        QVERIFY(dialog->isModal() && dialog->maximum() == 3);
        QVERIFY(dialog->labelText().contains(QStringLiteral("第 2 个文件，共 3 个")));
        // A title and a close button, and a size of its own, as a box has.
        QVERIFY(dialog->windowFlags() & Qt::CustomizeWindowHint);
        QVERIFY(!(dialog->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
        QVERIFY(!ui.stopRequested());
        dialog->close();  // the title bar's close button stops the run
        QVERIFY(ui.stopRequested());
    }
    ui.progress(3, 3, "");  // after the last file it is gone
    QVERIFY(parent.findChild<QProgressDialog*>() == nullptr);
}

void Form1Test::summaryReadable_data() {
    QTest::addColumn<int>("names");
    QTest::newRow("one name") << 1;
    QTest::newRow("ten thousand names") << 10000;
}

// The summary's name list has no blanks: it must wrap between names, never
// inside one, scroll when taller than the screen allows, show its last
// name, and keep the lines that matter in sight above the names.
void Form1Test::summaryReadable() {
    QFETCH(int, names);
    QString list;
    for (int i = 1; i <= names; ++i) list += QStringLiteral(",heat_gb18030_%1.f90").arg(i);
    const QString text = QStringLiteral("本次共处理代码%1行，文件%2个，分别为%3，本次运行备份文件在备份1文件夹中"
                                        "\n处理已取消，其余3个匹配的文件未改动")
                             .arg(names * 10).arg(names).arg(list);
    const QString headline = QStringLiteral("本次共处理代码%1行，文件%2个，本次运行备份文件在备份1文件夹中"
                                            "\n处理已取消，其余3个匹配的文件未改动")
                                 .arg(names * 10).arg(names);
    QWidget parent;
    parent.show();
    MessageDialog box(&parent, kProgramTitle, MessageDialog::Buttons::Ok, text, {}, headline);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));

    QCOMPARE(box.text(), text);
    QPlainTextEdit* view = box.textView();
    QVERIFY(view->screen()->availableGeometry().contains(box.frameGeometry()));
    QCOMPARE(view->horizontalScrollBar()->maximum(), 0);  // wrapped, nothing cut at the edge
    const bool scrolls = names > 1000;
    QCOMPARE(view->verticalScrollBar()->maximum() > 0, scrolls);
    int wrapped = 0;
    for (QTextBlock block = view->document()->begin(); block.isValid(); block = block.next()) {
        const QString line = block.text();
        for (int i = 1; i < block.layout()->lineCount(); ++i, ++wrapped) {
            const QChar before = line.at(block.layout()->lineAt(i).textStart() - 1);
            QVERIFY2(!before.isLetterOrNumber() || before.unicode() > 0x7f,
                     qPrintable(line.mid(block.layout()->lineAt(i).textStart() - 10, 20)));
        }
    }
    QVERIFY(wrapped > 0 || !scrolls);
    // The counts, the backup folder and the stop, whole above the names.
    QCOMPARE(box.headlineView()->isVisible(), scrolls);
    QCOMPARE(QString(box.headlineView()->toPlainText()).remove(QChar(0x200B)), headline);
    if (scrolls) QCOMPARE(box.headlineView()->verticalScrollBar()->maximum(), 0);
    QTextCursor end(view->document());
    end.movePosition(QTextCursor::End);
    view->setTextCursor(end);
    view->ensureCursorVisible();
    QVERIFY(view->viewport()->rect().contains(view->cursorRect()));
    // Copied as it reads, without the marks that let it wrap.
    view->selectAll();
    view->copy();
    QCOMPARE(QApplication::clipboard()->text(), text);
    QCOMPARE(box.isSizeGripEnabled(), scrolls);  // a box that shows all its text has no need to grow
}

void Form1Test::fileListAfterParent() {
    QDir(work_->path()).mkpath("sub");
    for (const char* name : {"top.f90", "sub/inner.f90"}) writeBytes(work_->filePath(name), "end\n");
    Form1& form = makeForm();
    auto* file1 = control<QListView>("File1");
    auto shownFiles = [file1]() {
        QStringList names;
        for (int row = 0; row < file1->model()->rowCount(file1->rootIndex()); ++row)
            names.append(file1->model()->index(row, 0, file1->rootIndex()).data().toString());
        return names;
    };
    form.setOpenFolder(work_->filePath("sub"));
    QTRY_COMPARE(shownFiles(), QStringList{"inner.f90"});
    form.setOpenFolder(work_->path());  // the parent: its files, not the folder opened before
    QTRY_COMPARE(shownFiles(), QStringList{"top.f90"});
    QTest::qWait(50);
    QCOMPARE(shownFiles(), QStringList{"top.f90"});
}

void Form1Test::cancelStopsBetweenFiles_data() {
    QTest::addColumn<bool>("escape");  // Escape in the dialog instead of "取消"
    QTest::newRow("取消") << false;
    QTest::newRow("Escape") << true;
}

void Form1Test::cancelStopsBetweenFiles() {
    QFETCH(bool, escape);
    const QStringList files{"a.f90", "b.f90", "c.f90", "d.f90", "e.f90"};
    for (const QString& name : files) writeBytes(work_->filePath(name), kProgram);
    Form1& form = makeForm();
    form.userInterface().setProgressTimes(0, 0);  // the dialog from the first file, brought up to date always
    const int stopAfter = 2;
    // Once the dialog counts two files done, the user stops the run.
    QTimer::singleShot(0, &form, [&form, escape]() {
        auto* dialog = form.findChild<QProgressDialog*>();
        if (!dialog) qFatal("no progress dialog");
        QObject::connect(dialog->findChild<QProgressBar*>(), &QProgressBar::valueChanged, dialog,
                         [dialog, escape](int done) {
                             if (done != stopAfter) return;
                             QVERIFY(dialog->geometry().center() != QPoint(0, 0));
                             escape ? QTest::keyClick(dialog, Qt::Key_Escape)
                                    : dialog->findChild<QPushButton*>()->click();
                         });
    });
    QList<SeenBox> seen = run({QMessageBox::Ok});

    qint64 first = 0, second = 0;
    QByteArray formattedFirst = expectedFormat(kProgram, FormatOptions{}, first);
    DoLabelRecord session;
    formatText(kProgram.toStdString(), FormatOptions{}, session);
    const FormattedFile secondFile = formatText(kProgram.toStdString(), FormatOptions{}, session);
    QByteArray formattedSecond = QByteArray::fromStdString(secondFile.text);
    second = secondFile.lineCount;
    QCOMPARE(readBytes(work_->filePath("a.f90")), formattedFirst);
    QCOMPARE(readBytes(work_->filePath("b.f90")), formattedSecond);
    for (const QString& name : files.mid(stopAfter)) QCOMPARE(readBytes(work_->filePath(name)), kProgram);
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen[0].text, QStringLiteral("本次共处理代码%1行，文件2个，分别为,a.f90,b.f90，本次运行备份文件在备份1文件夹中"
                                          "\n处理已取消，其余3个匹配的文件未改动")
                               .arg(first + second));
}

void Form1Test::chineseButtonsAndKeys() {
    QWidget parent;
    parent.show();
    MessageDialog ok(&parent, kProgramTitle, MessageDialog::Buttons::Ok, "text");
    MessageDialog yesNo(&parent, kProgramTitle, MessageDialog::Buttons::YesNo, "text");
    QCOMPARE(ok.firstButton()->text(), QStringLiteral("确定"));
    QCOMPARE(yesNo.firstButton()->text(), QStringLiteral("是(&Y)"));
    QCOMPARE(yesNo.noButton()->text(), QStringLiteral("否(&N)"));
    // Enter takes the default answer even from the text; Escape the other.
    for (auto [key, result] : {std::pair{Qt::Key_Return, QDialog::Accepted}, {Qt::Key_Escape, QDialog::Rejected}}) {
        yesNo.setResult(-1);
        yesNo.show();
        yesNo.textView()->setFocus();
        QTest::keyClick(yesNo.textView(), key);
        QCOMPARE(yesNo.result(), int(result));
    }

    GuiUserInterface ui(&parent);
    ui.setProgressTimes(0, 0);
    ui.startRun();
    ui.progress(0, 3, "a.f90");
    auto* dialog = parent.findChild<QProgressDialog*>();
    QVERIFY(dialog);
    QCOMPARE(dialog->findChild<QPushButton*>()->text(), QStringLiteral("取消"));
    QVERIFY(dialog->minimumWidth() >= widthForTitle(*dialog, kProgramTitle));
    QVERIFY(!ui.stopRequested());
}

namespace {

Reason reasonOf(Why code, std::string path = {}, std::string name = {}, std::string detail = {},
                long long line = 0) {
    return Status::failure(code, std::move(path), std::move(name), std::move(detail)).at(line).reason;
}

Reason causedBy(Reason reason, Reason cause) {
    reason.cause = std::make_shared<const Reason>(std::move(cause));
    return reason;
}

}  // namespace

void Form1Test::reasonsInChinese_data() {
    QTest::addColumn<Reason>("reason");
    QTest::addColumn<QString>("shown");
    QTest::newRow("system text kept") << reasonOf(Why::CannotWrite, "/d/a.f90", {}, "Permission denied")
                                      << "/d/a.f90: 无法写入 (Permission denied)";
    QTest::newRow("safety check") << causedBy(reasonOf(Why::NotFormatted, "/d/a.f90"),
                                              reasonOf(Why::LineChanged, {}, {}, {}, 12))
                                  << "/d/a.f90: 第12行在格式化后改变或丢失；未格式化";
    QTest::newRow("no backup") << causedBy(reasonOf(Why::NoBackupCopy), reasonOf(Why::CannotRead, "/b/a.f90"))
                               << "/b/a.f90: 无法读取；没有备份副本，因此未格式化";
    QTest::newRow("no backup, as its folder could not be made")
        << causedBy(reasonOf(Why::NoBackupCopy),
                    causedBy(reasonOf(Why::CannotWrite, "/b/s/a.f90", {}, "No such file or directory"),
                             reasonOf(Why::CannotCreateFolder, "/b/s", {}, "Permission denied")))
        << "/b/s: 无法创建文件夹 (Permission denied); /b/s/a.f90: 无法写入 (No such file or directory)"
           "；没有备份副本，因此未格式化";
    QTest::newRow("neither encoding") << reasonOf(Why::NeitherUtf8Nor, "/d/a.f90", "GB18030")
                                      << "/d/a.f90: 既不是 UTF-8 也不是 GB18030 文本";
    QTest::newRow("neither, system code page")
        << reasonOf(Why::NeitherUtf8Nor, "/d/a.f90", "system code page")
        << "/d/a.f90: 既不是 UTF-8 也不是系统代码页文本";
    QTest::newRow("not encodable") << reasonOf(Why::CannotEncode, "/d/a.f90", "the system code page")
                                   << "/d/a.f90: 文本无法用系统代码页写出";
    QTest::newRow("a path with the tool's words")
        << reasonOf(Why::CannotRead, "/d/cannot read {line}.f90") << "/d/cannot read {line}.f90: 无法读取";
    QTest::newRow("no Chinese yet")
        << reasonOf(Why::ChangedDuringFormatting, "/d/a.f90")
        << "/d/a.f90: changed during formatting; left as the other program left it";
}

void Form1Test::reasonsInChinese() {
    QFETCH(Reason, reason);
    QFETCH(QString, shown);
    QCOMPARE(QString::fromStdString(chineseText(reason)), shown);
}

// Every failure has its words in both languages, with every field it takes
// filled in and its cause worded exactly once.
// A run's failures reach the window as values and are shown in its words,
// the file's own path left out.
void Form1Test::runShowsFailuresInChinese() {
    writeBytes(work_->filePath("bad.f90"), "x\x81\x20y\r\n");  // neither UTF-8 nor GB18030
    makeForm("2");
    const QList<SeenBox> seen = run({QMessageBox::Ok});
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen[0].details, QStringLiteral("bad.f90：既不是 UTF-8 也不是 GB18030 文本"));
}

void Form1Test::everyReasonHasBothWordings() {
    const Reason cause = reasonOf(Why::CannotRead, "/cause");
    for (int code = int(Why::None) + 1; code < int(Why::Last); ++code) {
        const Reason reason = causedBy(reasonOf(static_cast<Why>(code), "/p", "n", "d", 7), cause);
        for (const std::string& text : {englishText(reason), chineseText(reason)}) {
            QVERIFY2(!text.empty(), qPrintable(QString::number(code)));
            QVERIFY2(text.find('{') == std::string::npos, text.c_str());
            const std::size_t at = text.find("/cause: ");
            QVERIFY2(at != std::string::npos && text.find("/cause: ", at + 1) == std::string::npos,
                     text.c_str());
        }
    }
    QVERIFY(englishText(Reason{}).empty());
}

void Form1Test::enterPressesFocusedButton_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("key");
    for (const char* name : {"Command12", "Command1", "Command2"}) {
        QTest::newRow(qPrintable(QStringLiteral("%1 Return").arg(name))) << name << int(Qt::Key_Return);
        QTest::newRow(qPrintable(QStringLiteral("%1 Enter").arg(name))) << name << int(Qt::Key_Enter);
    }
}

void Form1Test::enterPressesFocusedButton() {
    QFETCH(QString, button);
    QFETCH(int, key);
    Form1& form = makeForm();
    form.setOpenFolder(work_->path());
    QVERIFY(QDir().mkpath(backupRoot_ + "/备份0"));  // "打开备份" has a folder to open
    auto* target = control<QPushButton>(qPrintable(button));
    target->setFocus(Qt::TabFocusReason);
    BoxAnswerer answerer({QMessageBox::Ok});
    QTest::keyClick(target, Qt::Key(key));
    QCOMPARE(answerer.seen.size(), button == "Command12" ? 1 : 0);  // the run's summary
    QCOMPARE(opened_.size(), button == "Command1" ? 1 : 0);
    QCOMPARE(form.isVisible(), button != "Command2");
}

// The keyboard starts in the folder list, and a focused button looks
// clearly different from the same button without the focus.
void Form1Test::focusVisible() {
    Form1& form = makeForm();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(QApplication::focusWidget(), control<QWidget>("Dir1"));
    auto* button = control<QPushButton>("Command1");
    const QImage plain = button->grab().toImage();
    button->setFocus(Qt::TabFocusReason);
    QVERIFY(button->hasFocus());
    const QImage focused = button->grab().toImage();
    QCOMPARE(focused.size(), plain.size());
    int changed = 0;
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x) changed += plain.pixel(x, y) != focused.pixel(x, y) ? 1 : 0;
    // At least a two-pixel frame all round.
    QVERIFY2(changed >= 2 * (plain.width() + plain.height()), qPrintable(QString::number(changed)));
}

// A folder or file made on disk after a run shows in the lists, as before it.
void Form1Test::listsFollowDiskAfterRun() {
    writeBytes(work_->filePath("a.f90"), kProgram);
    makeForm();
    QCOMPARE(run({QMessageBox::Ok}).size(), 1);
    auto* dir1 = control<QTreeView>("Dir1");
    auto* file1 = control<QListView>("File1");
    auto names = [](QAbstractItemView* view, const QModelIndex& parent) {
        QStringList found;
        for (int row = 0; row < view->model()->rowCount(parent); ++row)
            found.append(view->model()->index(row, 0, parent).data().toString());
        return found;
    };
    QVERIFY(QDir(work_->path()).mkdir("made later"));
    writeBytes(work_->filePath("later.f90"), "end\n");
    QTRY_COMPARE(names(dir1, dir1->currentIndex()), QStringList{"made later"});
    QTRY_COMPARE(names(file1, file1->rootIndex()), (QStringList{"a.f90", "later.f90"}));
}

// A folder that changes on disk is listed anew; the tree stays where the
// user scrolled it rather than jumping back to the open folder.
void Form1Test::treeStaysWhereTheUserScrolled() {
    for (int i = 10; i < 70; ++i) QVERIFY(QDir(work_->path()).mkdir(QStringLiteral("m%1").arg(i)));
    Form1& form = makeForm();
    form.setOpenFolder(work_->filePath("m40"));
    auto* dir1 = control<QTreeView>("Dir1");
    const QPersistentModelIndex work = dir1->currentIndex().parent();
    QTRY_COMPARE(dir1->model()->rowCount(work), 60);
    QTest::qWait(200);
    QScrollBar* bar = dir1->verticalScrollBar();
    QVERIFY(bar->value() > 0);
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    QVERIFY(QDir(work_->path()).mkdir("m09"));
    QTRY_COMPARE(dir1->model()->rowCount(work), 61);
    QTest::qWait(200);
    QCOMPARE(bar->value(), 0);
}

// At its smallest the window keeps a gap between the option frames and
// every option button whole, its circle included.
void Form1Test::minimumSizeKeepsOptionsWhole() {
    Form1& form = makeForm();
    form.resize(form.minimumSize().expandedTo(form.minimumSizeHint()));
    QTest::qWait(50);
    auto at = [this](QWidget* widget) { return QRect(widget->mapTo(form_.get(), QPoint(0, 0)), widget->size()); };
    const QList<QGroupBox*> frames{control<QGroupBox>("Frame2"), control<QGroupBox>("Frame3"),
                                   control<QGroupBox>("Frame4"), control<QGroupBox>("Frame1")};
    for (int i = 1; i < frames.size(); ++i)
        QVERIFY2(at(frames[i]).left() - at(frames[i - 1]).right() > 4, qPrintable(frames[i]->objectName()));
    for (QRadioButton* option : form.findChildren<QRadioButton*>()) {
        const QRect inFrame(option->mapTo(option->parentWidget(), QPoint(0, 0)), option->size());
        QVERIFY2(option->width() >= option->sizeHint().width() && option->height() >= option->sizeHint().height() &&
                     option->parentWidget()->contentsRect().contains(inFrame),
                 qPrintable(option->objectName()));
    }
}

void Form1Test::boxFitsItsText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("lines");
    QTest::newRow("the warning") << kWarning << 2;
    QTest::newRow("one line") << QStringLiteral("请选择文件类型") << 1;
}

// A short message's box is as high as its lines and buttons, and offers no
// minimise or maximise.
void Form1Test::boxFitsItsText() {
    QFETCH(QString, text);
    QFETCH(int, lines);
    QWidget parent;
    parent.show();
    MessageDialog box(&parent, kProgramTitle, MessageDialog::Buttons::YesNo, text);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    // The text's own height as laid out, the Chinese font's taller lines included.
    int shown = 0;
    qreal textHeight = 0;
    for (QTextBlock block = box.textView()->document()->begin(); block.isValid(); block = block.next()) {
        shown += block.layout()->lineCount();
        for (int i = 0; i < block.layout()->lineCount(); ++i) textHeight += block.layout()->lineAt(i).height();
    }
    QCOMPARE(shown, lines);
    // Besides the text and a button: margins, a gap and the text's frame.
    QVERIFY2(box.height() <= int(textHeight) + box.firstButton()->height() + 48,
             qPrintable(QStringLiteral("%1x%2 for %3").arg(box.width()).arg(box.height()).arg(textHeight)));
    // Whole, and not a line taller: the text, its margins and a pixel to spare.
    QVERIFY(box.textView()->verticalScrollBar()->maximum() == 0);
    const QPlainTextEdit* view = box.textView();
    QVERIFY2(view->viewport()->height() <= textHeight + 2 * view->document()->documentMargin() + 2,
             qPrintable(QString::number(view->viewport()->height())));
    QVERIFY(box.windowFlags() & Qt::CustomizeWindowHint);  // the hints below are the box's own
    QVERIFY(!(box.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
}

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
