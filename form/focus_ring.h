// The keyboard focus, unmistakable on every role colour: a 3-pixel yellow
// ring just outside the focused box or button, over the dark window.
#pragma once

#include <QWidget>

namespace pesolane {

class FocusRing : public QWidget {
public:
    static constexpr int kWidth = 3;

    // Follows the focus among the text boxes and buttons of `window`; hidden
    // while the focus is anywhere else.
    explicit FocusRing(QWidget* window);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void follow(QWidget* now);
};

}  // namespace pesolane
