// Message boxes and the progress dialog of a run started from the main
// window. The run happens on the window's thread; the modal progress dialog
// is what lets the window repaint while every input to it is refused.
#include "app/gui_ui.h"

#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QWidget>

namespace codekiln {

const QString kProgramTitle = QStringLiteral("codekiln Fortran 代码格式化");

QString messageBoxText(const std::string& text) {
    QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

GuiUserInterface::GuiUserInterface(QWidget* parent) : parent_(parent) {}

GuiUserInterface::~GuiUserInterface() { endRun(); }

void GuiUserInterface::messageOk(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, kProgramTitle, messageBoxText(text), QMessageBox::Ok, parent_);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

bool GuiUserInterface::messageYesNo(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, kProgramTitle, messageBoxText(text),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    // The box's own captions follow the desktop's language; the run's
    // question is Chinese, so its answers are too.
    box.button(QMessageBox::Yes)->setText(QStringLiteral("是(&Y)"));
    box.button(QMessageBox::No)->setText(QStringLiteral("否(&N)"));
    return box.exec() == QMessageBox::Yes;
}

void GuiUserInterface::startRun() {
    endRun();
    runClock_.start();
}

void GuiUserInterface::endRun() {
    if (progressDialog_) {
        progressDialog_->close();
        delete progressDialog_.data();
    }
}

void GuiUserInterface::progress(long long done, long long total, const std::string& name) {
    if (done >= total) {
        endRun();
        return;
    }
    if (!progressDialog_) {
        if (!runClock_.isValid() || runClock_.elapsed() < kProgressDelayMs) return;
        progressDialog_ = new QProgressDialog(parent_);
        progressDialog_->setObjectName(QStringLiteral("progressDialog"));
        progressDialog_->setWindowTitle(kProgramTitle);
        progressDialog_->setWindowModality(Qt::WindowModal);
        progressDialog_->setCancelButton(nullptr);  // a run cannot be stopped halfway
        progressDialog_->setMinimumDuration(0);
        progressDialog_->setAutoClose(false);
        progressDialog_->setAutoReset(false);
        // Shown now rather than by the dialog's own timer, which only fires
        // once the run has given the event loop back.
        QMetaObject::invokeMethod(progressDialog_.data(), "forceShow", Qt::DirectConnection);
    }
    // Counts beyond int are shown as a share of a thousand steps.
    const bool fits = total <= 1000000;
    progressDialog_->setMaximum(fits ? static_cast<int>(total) : 1000);
    progressDialog_->setLabelText(
        QStringLiteral("正在处理第 %1 个文件，共 %2 个\n%3")
            .arg(done + 1)
            .arg(total)
            .arg(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()))));
    // A shown modal progress dialog handles pending events when its value
    // moves: the window repaints, and input to it is refused.
    progressDialog_->setValue(fits ? static_cast<int>(done) : static_cast<int>(done * 1000 / total));
}

}  // namespace codekiln
