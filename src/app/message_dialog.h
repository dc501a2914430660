// The message box of the window: the program's title, no icon, the first
// button the default, Enter and Escape as usual. Its text can be read whole
// however long it is: it wraps between the names of a name list (which has
// no blanks), scrolls once it is taller than the screen allows, can be
// selected and copied, and the box can be resized. The lines that matter of
// a text that scrolls can be shown above it; details (the reasons of files
// that failed) wait behind a button.
#pragma once

#include <QDialog>
#include <QString>

class QFrame;
class QPlainTextEdit;
class QPushButton;

namespace codekiln {

/// One message box with OK, or with Yes and No.
class MessageDialog : public QDialog {
    Q_OBJECT

public:
    enum class Buttons { Ok, YesNo };

    /// `text` as shown (line breaks as '\n'); `details` hidden until asked
    /// for, and no details button when empty; `headline`, the lines that
    /// matter of a long text, shown above it whenever the text scrolls.
    MessageDialog(QWidget* parent, const QString& title, Buttons buttons, const QString& text,
                  const QString& details = {}, const QString& headline = {});

    QString text() const;
    /// The headline view, or null in a box without one; hidden while the
    /// text fits.
    QPlainTextEdit* headlineView() const { return headlineView_; }
    QString details() const;
    QPlainTextEdit* textView() const { return textView_; }
    /// The first button: "确定" or "是(&Y)", the default.
    QPushButton* firstButton() const { return first_; }
    /// "否(&N)", or null in a box with OK only.
    QPushButton* noButton() const { return no_; }

private:
    void fitToScreen();

    QPlainTextEdit* headlineView_ = nullptr;
    QFrame* headlineRule_ = nullptr;
    QPlainTextEdit* textView_ = nullptr;
    QPlainTextEdit* detailsView_ = nullptr;
    QPushButton* first_ = nullptr;
    QPushButton* no_ = nullptr;
    QPushButton* detailsButton_ = nullptr;
};

/// The least width at which a window titled `title` shows its whole title
/// beside the window manager's buttons.
int widthForTitle(const QWidget& window, const QString& title);

/// Gives `window` the frame of a box, not of a window to keep around: a
/// title and a close button, never minimise or maximise.
void useBoxFrame(QWidget& window);

/// Places `window` in the middle of `over` (its frame), kept on `over`'s screen.
void centreOver(QWidget& window, const QWidget* over);

}  // namespace codekiln
