// A warning beside the counting window: it never blocks, never takes the
// keyboard focus (the next keys typed go where they went), and stands beside
// the window, never over it, so that the result and the warning are read
// together. Escape or the next press closes it; a later warning replaces it.
#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QShortcut;

namespace pesolane {

class Notice : public QWidget {
public:
    // Beside `window`, which must be a top-level widget.
    explicit Notice(QWidget* window);

    // Shows `text` beside the window, in place of what it showed before.
    void tell(const QString& text);
    QString text() const;

private:
    void place();
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

    QWidget* window_;
    QLabel* label_;
    QShortcut* escape_;
};

}  // namespace pesolane
