// The window's side of a run: the run's questions and its summary as message
// boxes over the main window, and a progress dialog, with a button that
// stops the run, once a run lasts long enough for the user to wonder
// whether anything happens.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>

#include "run/user_interface.h"

class QProgressDialog;
class QWidget;

namespace codekiln {

/// The program's title: the window caption and every message box's title.
extern const QString kProgramTitle;

/// Message boxes and progress for a run started from the main window.
/// Each box carries the program's title and no icon; its first button is
/// the default.
class GuiUserInterface : public UserInterface {
public:
    explicit GuiUserInterface(QWidget* parent);
    ~GuiUserInterface() override;

    void messageOk(const std::string& text) override;
    /// The details (why files failed) wait behind a button, in Chinese
    /// where the words are the tool's own.
    void messageOkWithDetails(const std::string& text, const std::string& details) override;
    /// Failures in the window's Chinese.
    std::string reasonText(const Reason& reason) override;
    bool messageYesNo(const std::string& text) override;
    /// Shows a window-modal progress dialog with the file count once the run
    /// has taken longer than the delay; closes it after the last file. The
    /// dialog is brought up to date, and the window repainted, at most once
    /// per repaint interval, so that showing it costs the run next to nothing.
    void progress(long long done, long long total, const std::string& name) override;
    /// True once "取消" (or Escape) was pressed in the progress dialog.
    bool stopRequested() override;

    /// Marks the start of a run; the progress dialog's delay counts from here.
    void startRun();
    /// Closes the progress dialog if one is open.
    void endRun();

    /// How long a run goes before the dialog shows, and how often it is
    /// brought up to date once shown (tests and timing runs shorten them).
    void setProgressTimes(int delayMs, int repaintMs);

    static constexpr int kProgressDelayMs = 500;
    static constexpr int kRepaintIntervalMs = 100;

private:
    void showProgressDialog();

    QWidget* parent_;
    QElapsedTimer runClock_;
    qint64 lastRepaintMs_ = 0;
    int delayMs_ = kProgressDelayMs;
    int repaintMs_ = kRepaintIntervalMs;
    bool stopped_ = false;
    QPointer<QProgressDialog> progressDialog_;
};

/// A message text as a message box shows it: CR LF line ends become the
/// line breaks of the box.
QString messageBoxText(const std::string& text);

}  // namespace codekiln
