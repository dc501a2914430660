// Message boxes and the progress dialog of a run started from the main
// window. The run happens on the window's thread; the window-modal progress
// dialog is what lets the window repaint while every input to it is
// refused. Repainting is what costs: a dialog brought up to date after
// every file made a run ten times slower, so it is brought up to date on a
// clock instead, and its size never follows the file name shown.
#include "app/gui_ui.h"

#include <QLabel>
#include <QProgressDialog>
#include <QWidget>

#include "app/failure_reasons.h"
#include "app/message_dialog.h"
#include "run/messages.h"

namespace codekiln {

const QString kProgramTitle = QStringLiteral("codekiln Fortran 代码格式化");

namespace {

QString fromStd(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

/// The progress dialog's width: enough for its whole title and a long name.
constexpr int kProgressMinWidth = 460;

}  // namespace

QString messageBoxText(const std::string& text) {
    QString shown = fromStd(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

GuiUserInterface::GuiUserInterface(QWidget* parent) : parent_(parent) {}

GuiUserInterface::~GuiUserInterface() { endRun(); }

void GuiUserInterface::messageOk(const std::string& text) { messageOkWithDetails(text, {}); }

std::string GuiUserInterface::reasonText(const Reason& reason) { return chineseText(reason); }

void GuiUserInterface::messageOkWithDetails(const std::string& text, const std::string& details) {
    // A summary's counts, backup folder, failures and a stop stay in sight
    // above however many names it lists.
    MessageDialog box(parent_, kProgramTitle, MessageDialog::Buttons::Ok, messageBoxText(text),
                      messageBoxText(details), messageBoxText(summaryHeadline(text)));
    box.exec();
}

bool GuiUserInterface::messageYesNo(const std::string& text) {
    MessageDialog box(parent_, kProgramTitle, MessageDialog::Buttons::YesNo, messageBoxText(text));
    return box.exec() == QDialog::Accepted;
}

void GuiUserInterface::setProgressTimes(int delayMs, int repaintMs) {
    delayMs_ = delayMs;
    repaintMs_ = repaintMs;
}

void GuiUserInterface::startRun() {
    endRun();
    stopped_ = false;
    runClock_.start();
}

void GuiUserInterface::endRun() {
    if (progressDialog_) {
        progressDialog_->close();
        delete progressDialog_.data();
    }
}

bool GuiUserInterface::stopRequested() {
    if (progressDialog_ && progressDialog_->wasCanceled()) stopped_ = true;
    return stopped_;
}

namespace {

/// The run's progress dialog, shown at once when asked rather than by its own
/// timer, which only fires once the run has given the event loop back.
class RunProgressDialog : public QProgressDialog {
public:
    using QProgressDialog::QProgressDialog;
    void showNow() { forceShow(); }
};

}  // namespace

void GuiUserInterface::showProgressDialog() {
    auto* dialog = new RunProgressDialog(parent_);
    progressDialog_ = dialog;
    dialog->setObjectName(QStringLiteral("progressDialog"));
    dialog->setWindowTitle(kProgramTitle);
    useBoxFrame(*dialog);  // closing it stops the run as "取消" does
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setCancelButtonText(QStringLiteral("取消"));
    dialog->setMinimumDuration(0);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    // Escape stops the run as "取消" does, rather than only hiding the dialog.
    QObject::connect(dialog, &QDialog::rejected, dialog, &QProgressDialog::cancel);
    dialog->setLabelText(QStringLiteral("正在处理第 1 个文件，共 1 个\n"));
    dialog->setMinimumWidth(std::max(kProgressMinWidth, widthForTitle(*dialog, kProgramTitle)));
    dialog->adjustSize();
    // Held at that size, or the window manager may offer to maximise it: the
    // name it shows is cut to its width.
    dialog->setFixedSize(dialog->size());
    centreOver(*dialog, parent_ ? parent_->window() : nullptr);
    dialog->showNow();
}

void GuiUserInterface::progress(long long done, long long total, const std::string& name) {
    if (done >= total) {
        endRun();
        return;
    }
    if (!runClock_.isValid()) return;
    const qint64 now = runClock_.elapsed();
    if (!progressDialog_) {
        if (now < delayMs_ || stopped_) return;
        showProgressDialog();
    } else if (now - lastRepaintMs_ < repaintMs_) {
        return;
    }
    lastRepaintMs_ = now;

    // Counts beyond int are shown as a share of a thousand steps.
    const bool fits = total <= 1000000;
    progressDialog_->setMaximum(fits ? static_cast<int>(total) : 1000);
    // The name is cut in the middle to the dialog's width, so the dialog
    // keeps its size whatever the names.
    const auto* label = progressDialog_->findChild<QLabel*>();
    const int room = (label ? label->width() : progressDialog_->width()) - 8;
    const QString shownName =
        progressDialog_->fontMetrics().elidedText(fromStd(name), Qt::ElideMiddle, std::max(room, 40));
    progressDialog_->setLabelText(
        QStringLiteral("正在处理第 %1 个文件，共 %2 个\n%3").arg(done + 1).arg(total).arg(shownName));
    // A shown modal progress dialog handles pending events when its value
    // moves: the window repaints, "取消" is seen, other input is refused.
    progressDialog_->setValue(fits ? static_cast<int>(done) : static_cast<int>(done * 1000 / total));
}

}  // namespace codekiln
