// The window's message box. A label cannot break a name list that has no
// blanks and cannot scroll, so the text sits in a read-only plain-text view
// that looks like the box's face: it wraps at blanks where it can and
// anywhere else where it must, and is sized to its text up to the part of
// the screen a box may take.
#include "app/message_dialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextDocument>
#include <QTextOption>
#include <QVBoxLayout>

#include "app/focus_frame.h"

namespace codekiln {

namespace {

/// The share of the screen's free area a box may take before it scrolls.
constexpr double kScreenShareWide = 0.6;
constexpr double kScreenShareHigh = 0.6;

QPlainTextEdit* makeTextView(QWidget* parent, const QString& text) {
    auto* view = new QPlainTextEdit(parent);
    view->setReadOnly(true);
    view->setPlainText(text);
    view->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    view->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // Selectable with the mouse and the keyboard, so it can be copied.
    view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    view->setFocusPolicy(Qt::StrongFocus);
    view->setTabChangesFocus(true);
    // The box's face, not an input field: the window's colour behind it.
    QPalette palette = view->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    view->setPalette(palette);
    showKeyboardFocus(view, false);
    return view;
}

QRect freeArea(const QWidget* widget) {
    const QScreen* screen = widget && widget->screen() ? widget->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

/// The size `view` needs to show `text` whole: as wide as its longest line
/// within `maxWidth`, as high as the wrapped text within `maxHeight`.
QSize textSize(QPlainTextEdit* view, const QString& text, int maxWidth, int maxHeight) {
    const QFontMetrics metrics = view->fontMetrics();
    // Blank space the view keeps around its text: frame, document margin,
    // and room for a vertical scroll bar.
    const int chrome = 2 * view->frameWidth() + 2 * int(view->document()->documentMargin()) + 4;
    const int scrollBar = view->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const int width = std::min(widest + chrome + scrollBar, maxWidth);

    QTextDocument probe;
    probe.setDefaultFont(view->font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    probe.setDefaultTextOption(option);
    probe.setDocumentMargin(view->document()->documentMargin());
    probe.setPlainText(text);
    probe.setTextWidth(width - chrome - scrollBar + 2 * view->document()->documentMargin());
    const int height = std::min(int(probe.size().height()) + chrome, maxHeight);
    return {width, std::max(height, metrics.height() + chrome)};
}

}  // namespace

int widthForTitle(const QWidget& window, const QString& title) {
    QFont font = window.font();
    font.setBold(true);  // title bars are often bold
    // The window manager's buttons and margins beside the title.
    constexpr int kTitleBarButtons = 160;
    return QFontMetrics(font).horizontalAdvance(title) + kTitleBarButtons;
}

void centreOver(QWidget& window, const QWidget* over) {
    const QRect area = freeArea(over ? over : &window);
    QRect frame = window.frameGeometry();
    // Before its first showing a window has no frame yet: its size will do.
    if (!window.testAttribute(Qt::WA_WState_Created) || frame.size() == QSize(0, 0))
        frame = QRect(QPoint(0, 0), window.size());
    const QRect target = over && over->isVisible() ? over->frameGeometry() : area;
    frame.moveCenter(target.center());
    // Kept whole on the screen.
    if (frame.right() > area.right()) frame.moveRight(area.right());
    if (frame.bottom() > area.bottom()) frame.moveBottom(area.bottom());
    if (frame.left() < area.left()) frame.moveLeft(area.left());
    if (frame.top() < area.top()) frame.moveTop(area.top());
    window.move(frame.topLeft());
}

MessageDialog::MessageDialog(QWidget* parent, const QString& title, Buttons buttons, const QString& text,
                             const QString& details)
    : QDialog(parent) {
    setObjectName(QStringLiteral("messageBox"));
    setWindowTitle(title);
    setSizeGripEnabled(true);

    textView_ = makeTextView(this, text);
    textView_->setObjectName(QStringLiteral("messageText"));

    first_ = new QPushButton(buttons == Buttons::Ok ? QStringLiteral("确定") : QStringLiteral("是(&Y)"), this);
    first_->setDefault(true);
    connect(first_, &QPushButton::clicked, this, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(first_);
    if (buttons == Buttons::YesNo) {
        no_ = new QPushButton(QStringLiteral("否(&N)"), this);
        connect(no_, &QPushButton::clicked, this, &QDialog::reject);  // Escape answers No too
        row->addWidget(no_);
    }
    for (QPushButton* button : {first_, no_}) {
        if (!button) continue;
        button->setAutoDefault(true);  // Enter presses the button that has the focus
    }

    auto* column = new QVBoxLayout(this);
    column->addWidget(textView_, 1);
    if (!details.isEmpty()) {
        detailsView_ = makeTextView(this, details);
        detailsView_->setObjectName(QStringLiteral("messageDetails"));
        detailsView_->hide();
        detailsButton_ = new QPushButton(QStringLiteral("详细信息(&D)"), this);
        detailsButton_->setCheckable(true);
        detailsButton_->setAutoDefault(false);
        row->addWidget(detailsButton_);
        column->addWidget(detailsView_, 1);
        connect(detailsButton_, &QPushButton::toggled, this, [this](bool shown) {
            detailsView_->setVisible(shown);
            fitToScreen();
        });
    }
    column->addLayout(row);
    fitToScreen();
    first_->setFocus();
    centreOver(*this, parent ? parent->window() : nullptr);
}

QString MessageDialog::text() const { return textView_->toPlainText(); }

QString MessageDialog::details() const { return detailsView_ ? detailsView_->toPlainText() : QString(); }

void MessageDialog::fitToScreen() {
    const QRect area = freeArea(parentWidget() ? parentWidget() : this);
    const int maxWidth = int(area.width() * kScreenShareWide);
    int maxHeight = int(area.height() * kScreenShareHigh);
    const bool detailsShown = detailsView_ && !detailsView_->isHidden();
    if (detailsShown) maxHeight /= 2;

    QSize textNeeds = textSize(textView_, text(), maxWidth, maxHeight);
    QSize detailsNeeds = detailsShown ? textSize(detailsView_, details(), maxWidth, maxHeight) : QSize();
    const int width = std::max(textNeeds.width(), detailsNeeds.width());
    textView_->setMinimumSize(width, textNeeds.height());
    if (detailsShown) detailsView_->setMinimumSize(width, detailsNeeds.height());
    setMinimumWidth(std::min(widthForTitle(*this, windowTitle()), maxWidth));
    adjustSize();
    // Free to shrink again once placed: the user may resize the box.
    const int lineHeight = textView_->fontMetrics().height();
    textView_->setMinimumSize(lineHeight * 4, lineHeight * 2);
    if (detailsView_) detailsView_->setMinimumSize(lineHeight * 4, lineHeight * 2);
}

}  // namespace codekiln
