// The counting window: its controls, built from the control table, the
// working values the steps store in, and the three operations the press
// handlers use (read a text, write a text, show or hide a control). It also
// takes a weight read from the scale into a weight box (F9), and tells why
// when none was read.
#pragma once

#include <QWidget>

#include <array>
#include <bitset>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "announcer.h"
#include "controls.h"
#include "counting.h"

class QAbstractButton;
class QAction;
class QLineEdit;
class QMessageBox;
class QPushButton;

namespace pesolane {

class Notice;

class Form1 : public QWidget {
    Q_OBJECT

public:
    using PressHandler = std::function<void(Form1&)>;

    explicit Form1(QWidget* parent = nullptr);

    // The three operations of the press handlers.
    QString text(Ctl box) const;
    void setText(Ctl box, const QString& text);
    void setText(Ctl box, std::string_view utf8);
    void setShown(Ctl control, bool shown);
    void setShown(std::initializer_list<Ctl> controls, bool shown);

    // The visible flag, whether or not the window itself is on screen.
    bool isShown(Ctl control) const;

    // Whether the last press hid `control`, if only for a moment (a step's
    // reset hides what it then shows again, emptied).
    bool hiddenByLastPress(Ctl control) const { return hiddenByPress_.test(index(control)); }

    // Runs `handler` when `button` is pressed.
    void onPress(Ctl button, PressHandler handler);

    // Called by a step whose results are computed, stored and written, just
    // before it shows them (a final count, a lot): whatever must keep a
    // result (the record of countings) keeps it before the operator can see
    // it. The step depends on nothing the hook does.
    // Hooks run in the order they were added.
    using ResultsHook = std::function<void(const StepOutcome&)>;
    void onResults(ResultsHook hook) { resultsHooks_.push_back(std::move(hook)); }
    void resultsReady(const StepOutcome& outcome) {
        for (const ResultsHook& hook : resultsHooks_) hook(outcome);
    }

    // The counting as the last press left it; only the steps change it.
    const CountingState& counting() const { return counting_; }
    void keep(const CountingState& state) { counting_ = state; }

    // Shows `warning` beside the window once the press under way is done
    // (spoken after what the press showed), in place of any earlier warning.
    // It never blocks nor takes the focus; Escape or the next press closes it.
    void warn(const QString& warning);
    // Shows `message` there now (a label not printed), spoken the same way.
    void tell(const QString& message);
    Notice* notice() const { return notice_; }

    // The decimal separator of the user's locale, as it is now.
    std::string decimalSeparator() const;

    // Tells the operator that a typed or computed value is beyond the range
    // of the calculation. The message does not block the press that raised it.
    void reportOutOfRange();
    QMessageBox* rangeAlarm() const { return alarm_; }

    // Writes a weight read from the scale into one of the weight boxes, as
    // the operator would type it, and says it with its unit. Presses nothing.
    void putWeight(Ctl box, const QString& weight, const QString& unit);

    // Tells the operator why no weight was read, in a message that does not
    // block; a screen reader hears it as a refusal. With `offerSearch`, the
    // message has a button that searches for the scale.
    void reportWeighingFailure(const QString& message, bool offerSearch = false);

    // Says `sentence` to a screen reader, the focus left where it is.
    void say(const QString& sentence) { announcer_->say(sentence); }

    // Tells the operator that a result shown was not kept in the record of
    // countings, and why, in a message that does not block; a screen reader
    // hears it too.
    void reportRecordFailure(const QString& message);

    // Tells the operator, briefly beside `box` and to the screen reader,
    // that the scale's answer to an earlier F9 is still awaited.
    void reportWeighingUnderWay(Ctl box);

    QWidget* widget(Ctl control) const { return widgets_[index(control)]; }
    QLineEdit* textBox(Ctl box) const;
    QPushButton* button(Ctl button) const;

    // The working values, to look at.
    const WorkingValues& values;

signals:
    // F9, or "Lire le poids" in its context menu, in a weight box.
    void weightWanted(pesolane::Ctl box);

    // "Chercher l'instrument de pesage…", in a weight box's context menu or
    // in the message of a reading that found no scale.
    void searchWanted();

    // F2, or "Article…" in a box's context menu.
    void articleWanted();

    // Ctrl+P, or "Imprimer l'étiquette" in a box's context menu.
    void labelWanted();

    // A button was pressed and its handler has run.
    void pressed(pesolane::Ctl button);

private:
    void addWeightReading(Ctl box);
    void addContextMenu(Ctl box);

    Screen screen() const;
    void press(Ctl button);

    std::array<QWidget*, kControlCount> widgets_{};
    std::array<PressHandler, kControlCount> handlers_{};
    CountingState counting_;
    std::vector<ResultsHook> resultsHooks_;
    Notice* notice_ = nullptr;
    QAction* articleEntry_ = nullptr;
    QAction* labelEntry_ = nullptr;
    std::array<QList<QAction*>, kControlCount> weightEntries_;
    QString untoldWarning_;  // to show once the press is done
    QMessageBox* alarm_ = nullptr;
    QMessageBox* weighingAlarm_ = nullptr;
    QMessageBox* recordAlarm_ = nullptr;
    QAbstractButton* searchOffer_ = nullptr;
    Announcer* announcer_ = nullptr;
    std::bitset<kControlCount> shownByPress_;   // controls a press took from hidden to shown
    std::bitset<kControlCount> hiddenByPress_;  // controls a press took from shown to hidden
};

// The entry that searches for the scale.
extern const QString kSearchEntry;

// The window's title: 185 blanks before the name, as the desktop shows it.
QString windowTitleText();

}  // namespace pesolane
