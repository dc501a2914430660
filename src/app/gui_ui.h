// The window's side of a run: the run's questions and its summary as message
// boxes over the main window, and a progress dialog once a run lasts long
// enough for the user to wonder whether anything happens.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>

#include "platform/platform.h"

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
    bool messageYesNo(const std::string& text) override;
    /// Shows a modal progress dialog with the file count once the run has
    /// taken longer than kProgressDelayMs; closes it after the last file.
    void progress(long long done, long long total, const std::string& name) override;

    /// Marks the start of a run; the progress dialog's delay counts from here.
    void startRun();
    /// Closes the progress dialog if one is open.
    void endRun();

    static constexpr int kProgressDelayMs = 500;

private:
    QWidget* parent_;
    QElapsedTimer runClock_;
    QPointer<QProgressDialog> progressDialog_;
};

/// A message text as a message box shows it: CR LF line ends become the
/// line breaks of the box.
QString messageBoxText(const std::string& text);

}  // namespace codekiln
