#include "notice.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

namespace pesolane {

// A window of the tool-tip kind: no window system ever gives it the focus.
Notice::Notice(QWidget* window)
    : QWidget(window, Qt::ToolTip | Qt::WindowDoesNotAcceptFocus), window_(window) {
    setObjectName(QStringLiteral("notice"));
    setAccessibleName(QStringLiteral("Avertissement"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    label_ = new QLabel(this);
    label_->setObjectName(QStringLiteral("noticeText"));
    label_->setTextFormat(Qt::PlainText);
    label_->setWordWrap(true);
    label_->setFocusPolicy(Qt::NoFocus);
    QFont font = label_->font();
    font.setPixelSize(14);
    font.setBold(false);
    label_->setFont(font);
    label_->setFixedWidth(320);
    label_->setStyleSheet(QStringLiteral("QLabel { background: #FFFFE1; color: black; border: 2px solid #C00000;"
                                         " padding: 8px; }"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label_);
    // Escape closes it from the counting window, where the focus stays; the
    // key does nothing new while no warning is up.
    escape_ = new QShortcut(QKeySequence(Qt::Key_Escape), window, [this] { hide(); });
    escape_->setContext(Qt::WindowShortcut);
    escape_->setEnabled(false);
}

void Notice::tell(const QString& text) {
    label_->setText(text);
    adjustSize();
    place();
    show();
}

QString Notice::text() const { return isVisible() ? label_->text() : QString(); }

void Notice::showEvent(QShowEvent* event) {
    escape_->setEnabled(true);
    QWidget::showEvent(event);
}

void Notice::hideEvent(QHideEvent* event) {
    escape_->setEnabled(false);
    QWidget::hideEvent(event);
}

// To the right of the window if the screen has room there, else to its left,
// else below it, else above it: never over it.
void Notice::place() {
    const QRect win = window_->frameGeometry();
    const QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
    const QRect room = screen ? screen->availableGeometry() : QRect();
    const QSize size = frameGeometry().size().expandedTo(sizeHint());
    const int gap = 8;
    const QPoint candidates[] = {
        {win.right() + 1 + gap, win.top()},
        {win.left() - gap - size.width(), win.top()},
        {win.left(), win.bottom() + 1 + gap},
        {win.left(), win.top() - gap - size.height()},
    };
    QPoint at = candidates[0];
    for (const QPoint& c : candidates)
        if (room.isEmpty() || room.contains(QRect(c, size))) {
            at = c;
            break;
        }
    move(at);
}

}  // namespace pesolane
