// The focus frame of lists and text views, as a style sheet on the view
// alone so that the rest of the window keeps the desktop's own look. Both
// frames are two pixels wide, so taking the focus moves nothing. Buttons
// keep the desktop's drawing and get the frame painted over it.
#include "app/focus_frame.h"

#include <QAbstractScrollArea>
#include <QPainter>

namespace codekiln {

void showKeyboardFocus(QAbstractScrollArea* view, bool framed) {
    const char* type = view->metaObject()->className();
    const QString unfocused = framed ? QStringLiteral("border: 1px solid palette(mid); padding: 1px;")
                                     : QStringLiteral("border: 2px solid transparent;");
    view->setStyleSheet(QStringLiteral("%1 { %2 } %1:focus { border: 2px solid palette(highlight); padding: 0px; }")
                            .arg(QLatin1String(type), unfocused));
}

FocusButton::FocusButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {
    // Outside a dialog this makes no button the default: it only lets
    // Enter press the button that has the focus.
    setAutoDefault(true);
}

void FocusButton::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    if (!hasFocus()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 2, 2);
}

}  // namespace codekiln
