// The window's message box. A label cannot break a name list that has no
// blanks and cannot scroll, so the text sits in a read-only plain-text view
// that looks like the box's face: it wraps at blanks and after the commas
// between names where it can and anywhere else only where it must, and is
// sized to its text up to the part of the screen a box may take.
#include "app/message_dialog.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextLayout>
#include <QTextOption>
#include <QVBoxLayout>
#include <cmath>

#include "app/focus_frame.h"

namespace codekiln {

namespace {

/// The share of the screen's free area a box may take before it scrolls.
constexpr double kScreenShareWide = 0.6;
constexpr double kScreenShareHigh = 0.6;

/// Where a line may break after a name list's commas: a zero-width space,
/// only on the face; the text read back or copied has none.
const QChar kBreakHere(0x200B);

QString withBreaks(QString text) { return text.replace(QLatin1Char(','), QStringLiteral(",") + kBreakHere); }

QString withoutBreaks(QString text) { return text.remove(kBreakHere); }

/// The box's face: copies what it shows without the break marks.
class FaceText : public QPlainTextEdit {
public:
    using QPlainTextEdit::QPlainTextEdit;

protected:
    QMimeData* createMimeDataFromSelection() const override {
        auto* data = new QMimeData;
        data->setText(withoutBreaks(textCursor().selection().toPlainText()));
        return data;
    }
};

QPlainTextEdit* makeTextView(QWidget* parent, const QString& text) {
    auto* view = new FaceText(parent);
    view->setReadOnly(true);
    view->setPlainText(withBreaks(text));
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

/// The size `view` needs to show its text whole: as wide as its longest
/// line within `maxWidth`, as high as the text wraps at that width within
/// `maxHeight`, counted as the view itself lays out and scrolls its lines.
QSize textSize(QPlainTextEdit* view, int maxWidth, int maxHeight) {
    view->ensurePolished();
    QTextDocument* document = view->document();
    const QFont font = document->defaultFont();
    const QFontMetrics metrics(font);
    const qreal margin = document->documentMargin();
    const int frame = 2 * view->frameWidth();
    // Room beside the text: document margins, a little slack and a vertical
    // scroll bar, so that a text that scrolls keeps its lines as they are.
    const int chrome = frame + 2 * int(std::ceil(margin)) + 4;
    const int scrollBar = view->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    // The widest line as the view sets it, rounded up so that it stays one.
    int widest = 0;
    for (const QString& line : view->toPlainText().split(QLatin1Char('\n'))) {
        const int advance = metrics.horizontalAdvance(line);
        if (advance > maxWidth) {
            widest = maxWidth;
            break;
        }
        QTextLayout layout(line, font);
        layout.beginLayout();
        const QTextLine whole = layout.createLine();
        const int natural = whole.isValid() ? int(std::ceil(whole.naturalTextWidth())) : 0;
        layout.endLayout();
        widest = std::max({widest, advance, natural + 1});
    }
    const int width = std::min(widest + chrome + scrollBar, maxWidth);

    // Laid out line by line as the view lays out its blocks at the width of
    // its viewport while no scroll bar shows: its font and text options,
    // each line's leading included. The first line starts below the top
    // margin, the bottom margin follows the last, and the view scrolls
    // unless one pixel more than that is free.
    const qreal lineWidth = width - frame - 2 * margin;
    qreal textHeight = 2 * margin + 1;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        QTextLayout layout(block.text(), font);
        layout.setTextOption(document->defaultTextOption());
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLeadingIncluded(true);
            line.setLineWidth(lineWidth);
            textHeight += line.height();
            if (line.leading() < 0) textHeight += std::ceil(line.leading());
        }
        layout.endLayout();
        // A view's height is capped long before ten thousand names are laid out.
        if (textHeight > maxHeight) break;
    }
    return {width, std::min(int(std::ceil(textHeight)) + frame, maxHeight)};
}

}  // namespace

int widthForTitle(const QWidget& window, const QString& title) {
    QFont font = window.font();
    font.setBold(true);  // title bars are often bold
    // The window manager's buttons and margins beside the title.
    constexpr int kTitleBarButtons = 160;
    return QFontMetrics(font).horizontalAdvance(title) + kTitleBarButtons;
}

void useBoxFrame(QWidget& window) {
    window.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
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
                             const QString& details, const QString& headline)
    : QDialog(parent) {
    setObjectName(QStringLiteral("messageBox"));
    setWindowTitle(title);
    // Some window managers add minimise and maximise to any window that can
    // be resized, so only a box whose text scrolls can be (fitToScreen).
    useBoxFrame(*this);

    if (!headline.isEmpty()) {
        headlineView_ = makeTextView(this, headline);
        headlineView_->setObjectName(QStringLiteral("messageHeadline"));
        headlineView_->hide();
        headlineRule_ = new QFrame(this);
        headlineRule_->setFrameShape(QFrame::HLine);
        headlineRule_->setFrameShadow(QFrame::Sunken);
        headlineRule_->hide();
    }
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
    if (headlineView_) {
        column->addWidget(headlineView_);
        column->addWidget(headlineRule_);
    }
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

QString MessageDialog::text() const { return withoutBreaks(textView_->toPlainText()); }

QString MessageDialog::details() const {
    return detailsView_ ? withoutBreaks(detailsView_->toPlainText()) : QString();
}

void MessageDialog::fitToScreen() {
    ensurePolished();  // measured with the style's and font's final metrics
    const QRect area = freeArea(parentWidget() ? parentWidget() : this);
    const int maxWidth = int(area.width() * kScreenShareWide);
    int maxHeight = int(area.height() * kScreenShareHigh);
    const bool detailsShown = detailsView_ && !detailsView_->isHidden();
    if (detailsShown) maxHeight /= 2;

    // A text that would scroll gets its headline above it, whole, and the
    // rest of the height.
    const bool scrolls = textSize(textView_, maxWidth, QWIDGETSIZE_MAX).height() > maxHeight;
    const bool headlineShown = headlineView_ && scrolls;
    QSize headlineNeeds;
    if (headlineShown) {
        headlineNeeds = textSize(headlineView_, maxWidth, maxHeight / 2);
        maxHeight -= headlineNeeds.height();
    }
    if (headlineView_) {
        headlineView_->setVisible(headlineShown);
        headlineRule_->setVisible(headlineShown);
    }
    QSize textNeeds = textSize(textView_, maxWidth, maxHeight);
    QSize detailsNeeds = detailsShown ? textSize(detailsView_, maxWidth, maxHeight) : QSize();
    const int width = std::max({textNeeds.width(), detailsNeeds.width(), headlineNeeds.width()});
    if (headlineShown) headlineView_->setFixedHeight(headlineNeeds.height());
    // Held at the size of their text while the box takes its size: a text
    // view would ask for far more room than a short message needs.
    textView_->setFixedSize(width, textNeeds.height());
    if (detailsShown) detailsView_->setFixedSize(width, detailsNeeds.height());
    setMinimumSize(std::min(widthForTitle(*this, windowTitle()), maxWidth), 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    // The size of its parts, not adjustSize(): that makes a window whose
    // parts may grow at least a hundred pixels high, far more than one line.
    resize(sizeHint().expandedTo(minimumSize()));
    const bool fits = textNeeds.height() < maxHeight && (!detailsShown || detailsNeeds.height() < maxHeight);
    setSizeGripEnabled(!fits);
    if (fits) {
        setFixedSize(size());
        return;
    }
    // Free to grow and shrink again once placed: the user may resize the box.
    const int lineHeight = textView_->fontMetrics().height();
    for (QPlainTextEdit* view : {textView_, detailsView_}) {
        if (!view) continue;
        view->setMinimumSize(lineHeight * 4, lineHeight * 2);
        view->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
}

}  // namespace codekiln
