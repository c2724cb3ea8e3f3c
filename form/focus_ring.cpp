#include "focus_ring.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

#include "accessibility.h"

namespace pesolane {

FocusRing::FocusRing(QWidget* window) : QWidget(window) {
    setObjectName(QStringLiteral("focusRing"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hideFromAssistiveTechnology(this);
    hide();
    // The ring is the context: while the window's children go, the focus moves
    // among them, and the ring stops following once it is gone itself.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { follow(now); });
}

void FocusRing::follow(QWidget* now) {
    const bool ours = now && now->parentWidget() == parentWidget() &&
                      (qobject_cast<QLineEdit*>(now) != nullptr || qobject_cast<QPushButton*>(now) != nullptr);
    if (!ours) return hide();
    setGeometry(now->geometry().adjusted(-kWidth, -kWidth, kWidth, kWidth));
    raise();
    show();
}

void FocusRing::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor ring = QColor::fromRgb(0xFFFFFF00u);
    const int w = width(), h = height();
    painter.fillRect(0, 0, w, kWidth, ring);
    painter.fillRect(0, h - kWidth, w, kWidth, ring);
    painter.fillRect(0, kWidth, kWidth, h - 2 * kWidth, ring);
    painter.fillRect(w - kWidth, kWidth, kWidth, h - 2 * kWidth, ring);
}

}  // namespace pesolane
