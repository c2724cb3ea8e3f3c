// What a screen reader hears without the focus moving: after each press, its
// refusal or the results it shows and the step it opens; and any sentence
// the window has to say on its own (a weight read from the scale, a failed
// weighing).
#pragma once

#include <QString>
#include <QWidget>

#include <array>
#include <bitset>

#include "controls.h"

namespace pesolane {

class Form1;

// What the operator sees: visible flags and texts.
struct Screen {
    std::bitset<kControlCount> shown;
    std::array<QString, kControlCount> texts;
};

// A widget that is never drawn: its name is what is said.
class Announcer : public QWidget {
public:
    explicit Announcer(QWidget* window);

    // Tells what a press did: a refusal (its red label, spoken again when it
    // was already up), or each result it showed or changed, named, then the
    // step it opens. `shownByPress` holds the controls the press took from
    // hidden to shown. A press that changes nothing says nothing.
    void pressDone(const Form1& form, const Screen& before, const std::bitset<kControlCount>& shownByPress);

    // Says `sentence` now.
    void say(const QString& sentence);
};

}  // namespace pesolane
