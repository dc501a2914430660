// The focus frame of lists and text views, as a style sheet on the view
// alone so that the rest of the window keeps the desktop's own look. Both
// frames are two pixels wide, so taking the focus moves nothing.
#include "app/focus_frame.h"

#include <QAbstractScrollArea>

namespace codekiln {

void showKeyboardFocus(QAbstractScrollArea* view, bool framed) {
    const char* type = view->metaObject()->className();
    const QString unfocused = framed ? QStringLiteral("border: 1px solid palette(mid); padding: 1px;")
                                     : QStringLiteral("border: 2px solid transparent;");
    view->setStyleSheet(QStringLiteral("%1 { %2 } %1:focus { border: 2px solid palette(highlight); padding: 0px; }")
                            .arg(QLatin1String(type), unfocused));
}

}  // namespace codekiln
