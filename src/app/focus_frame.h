// A visible keyboard focus for the window's lists, text views and buttons:
// the desktop style marks a focused button by a barely different border,
// and a list whose frame stays the same gives no sign that the arrow keys
// now move in it.
#pragma once

#include <QPushButton>

class QAbstractScrollArea;

namespace codekiln {

/// Draws `view`'s frame in the highlight colour while it has the keyboard
/// focus; without the focus the frame is the usual one, or none when
/// `framed` is false (a text that stands for the face of a message box).
void showKeyboardFocus(QAbstractScrollArea* view, bool framed = true);

/// A push button that Enter presses while it has the focus, as Space does,
/// and that shows the focus by a frame in the highlight colour.
class FocusButton : public QPushButton {
public:
    FocusButton(const QString& caption, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace codekiln
