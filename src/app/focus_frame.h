// A visible keyboard focus for the window's lists and text views: the
// desktop style marks a focused button or edit box, but a list whose frame
// stays the same gives no sign that the arrow keys now move in it.
#pragma once

class QAbstractScrollArea;

namespace codekiln {

/// Draws `view`'s frame in the highlight colour while it has the keyboard
/// focus; without the focus the frame is the usual one, or none when
/// `framed` is false (a text that stands for the face of a message box).
void showKeyboardFocus(QAbstractScrollArea* view, bool framed = true);

}  // namespace codekiln
