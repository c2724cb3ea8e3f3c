// The yardstick for start-up: a window of the same size and back colour with
// the same 56 styled widgets (labels, text boxes and buttons, at their places,
// in their roles' colours and fonts), and nothing else: no lines, no handlers,
// no working values.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleFactory>

#include "controls.h"

using namespace pesolane;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare form"));
    window.setFixedSize(kClientWidth, kClientHeight);
    QPalette pal = window.palette();
    pal.setColor(QPalette::Window, QColor(0x40, 0x40, 0x40));
    window.setPalette(pal);
    window.setAutoFillBackground(true);
    for (const ControlSpec& c : controlTable()) {
        if (c.kind == Kind::Line) continue;
        const RoleStyle& style = styleOf(c.role);
        const QString caption = QString::fromUtf8(c.caption.data(), static_cast<qsizetype>(c.caption.size()));
        const QColor back = QColor::fromRgb(QRgb(0xFF000000u | style.back));
        const QColor text = QColor::fromRgb(QRgb(0xFF000000u | style.text));
        QWidget* w = nullptr;
        QPalette p;
        if (c.kind == Kind::Label) {
            auto* label = new QLabel(caption, &window);
            label->setWordWrap(true);
            label->setAutoFillBackground(true);
            p = label->palette();
            p.setColor(QPalette::Window, back);
            p.setColor(QPalette::WindowText, text);
            w = label;
        } else if (c.kind == Kind::TextBox) {
            w = new QLineEdit(&window);
            p = w->palette();
            p.setColor(QPalette::Base, back);
            p.setColor(QPalette::Text, text);
        } else {
            w = new QPushButton(caption, &window);
            w->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: black; border: 1px solid #202020; }")
                                 .arg(back.name()));
            p = w->palette();
        }
        w->setPalette(p);
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(style.pixelSize);
        font.setBold(style.bold);
        w->setFont(font);
        w->setGeometry(c.rect.x, c.rect.y, c.rect.w, c.rect.h);
        w->setHidden(!c.atStart);
    }
    window.show();
    return QApplication::exec();
}
