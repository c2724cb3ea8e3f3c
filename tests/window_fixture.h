// A real counting window on the offscreen platform, driven by real key
// presses and mouse clicks.
#pragma once

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTest>

#include <memory>
#include <vector>

#include "controls.h"
#include "exact.h"
#include "form1.h"
#include "steps.h"

namespace pesolane::test {

inline QString nameOf(Ctl c) { return QString::fromUtf8(controlOf(c).name.data(), static_cast<qsizetype>(controlOf(c).name.size())); }

inline QStringList namesOf(std::vector<Ctl> controls) {
    std::sort(controls.begin(), controls.end());
    controls.erase(std::unique(controls.begin(), controls.end()), controls.end());
    QStringList names;
    for (Ctl c : controls) names << nameOf(c);
    return names;
}

// The control of that name, for table rows that name an error label.
inline Ctl ctlNamed(const QString& name) {
    for (const ControlSpec& c : controlTable())
        if (nameOf(c.id) == name) return c.id;
    qFatal("no control named %s", qPrintable(name));
}

// The road of one counting: precision, total weight, then the text typed at
// each of steps 2 to 7.
inline const QStringList kRoad{"0.1", "1000", "10", "50", "10", "53", "265", "500"};

// What the window shows right after it opens.
inline const std::vector<Ctl> kAtStart{Ctl::LblPrecision, Ctl::LblPoidsTotal, Ctl::TxtPrecision, Ctl::TxtPoidsTotal,
                                       Ctl::Cmd1, Ctl::CmdQuitter, Ctl::Line1, Ctl::Line4};

// What each accepted step adds to the window, step 1 first.
inline const std::vector<std::vector<Ctl>> kRevealedBy{
    {Ctl::LblPoidsTheo1er, Ctl::TxtPoidsTheo1er, Ctl::LblPoidsReel1er, Ctl::TxtPoidsReel1er, Ctl::Cmd2, Ctl::Line2},
    {Ctl::LblNb1er, Ctl::TxtNb1er, Ctl::Cmd3, Ctl::Line3},
    {Ctl::LblNbTotalapproxi, Ctl::TxtNbTotalApproxi, Ctl::LblPlusMoins1, Ctl::TxtIncertitude1, Ctl::LblEcartMini,
     Ctl::TxtEcartMini, Ctl::LblEcartMaxi, Ctl::TxtEcartMaxi, Ctl::LblEcartChoisi, Ctl::TxtEcartChoisi, Ctl::Cmd4,
     Ctl::Line5},
    {Ctl::LblPoidsTheo2eme, Ctl::TxtPoidsTheo2eme, Ctl::LblPoidsReel2eme, Ctl::TxtPoidsReel2eme, Ctl::Cmd5, Ctl::Line6},
    {Ctl::LblNbReel2eme, Ctl::TxtNb2eme, Ctl::Cmd6, Ctl::Line7},
    {Ctl::LblNbTotalCalcule, Ctl::TxtNbTotalCalcule, Ctl::LblPlusMoins2, Ctl::TxtIncertitude2, Ctl::LblNbVoulu,
     Ctl::TxtNbVoulu, Ctl::Cmd7},
    {Ctl::LblPoidsNbVoulu, Ctl::TxtPoidsNbVoulu, Ctl::LblEcartNbVoulu, Ctl::LblPlusMoins3, Ctl::TxtIncertitude3},
};

// The input box and the button of each step, step 1 (whose second box is
// TxtPoidsTotal) first.
inline constexpr Ctl kInputOf[7] = {Ctl::TxtPrecision, Ctl::TxtPoidsReel1er, Ctl::TxtNb1er, Ctl::TxtEcartChoisi,
                                    Ctl::TxtPoidsReel2eme, Ctl::TxtNb2eme, Ctl::TxtNbVoulu};
inline constexpr Ctl kButtonOf[7] = {Ctl::Cmd1, Ctl::Cmd2, Ctl::Cmd3, Ctl::Cmd4, Ctl::Cmd5, Ctl::Cmd6, Ctl::Cmd7};

// The controls visible once steps 1..n have been accepted (n = 0: at start).
inline QStringList shownAfterAccepted(int n, std::vector<Ctl> extra = {}) {
    std::vector<Ctl> all = kAtStart;
    for (int i = 0; i < n; ++i) all.insert(all.end(), kRevealedBy[i].begin(), kRevealedBy[i].end());
    all.insert(all.end(), extra.begin(), extra.end());
    return namesOf(all);
}

class Window {
public:
    Window() : form(std::make_unique<Form1>()) {
        bindSteps(*form);
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }

    Form1& operator*() { return *form; }
    Form1* operator->() { return form.get(); }

    // Replaces the text of a box as the operator does: select all, type.
    void type(Ctl box, const QString& text) {
        QLineEdit* edit = form->textBox(box);
        QVERIFY2(form->isShown(box), qPrintable(nameOf(box) + " is hidden"));
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        if (text.isEmpty()) QTest::keyClick(edit, Qt::Key_Delete);
        for (QChar ch : text) {
            if (ch.unicode() >= 0x20 && ch.unicode() < 0x7F)
                QTest::keyClick(edit, char(ch.unicode()));
            else  // a key of another keyboard layout: the event carries the character itself
                QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(ch), Qt::NoModifier);
        }
        QCOMPARE(edit->text(), text);
    }

    // Replaces the text of a box with what the clipboard holds, as Ctrl+V does.
    void paste(Ctl box, const QString& text) {
        QLineEdit* edit = form->textBox(box);
        QGuiApplication::clipboard()->setText(text);
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    }

    void click(Ctl button) {
        QVERIFY2(form->isShown(button), qPrintable(nameOf(button) + " is hidden"));
        QTest::mouseClick(form->button(button), Qt::LeftButton);
    }

    QStringList shown() const {
        std::vector<Ctl> on;
        for (const ControlSpec& c : controlTable())
            if (form->isShown(c.id)) on.push_back(c.id);
        return namesOf(on);
    }

    QString text(Ctl box) const { return form->text(box); }

    // True when the out-of-range message is up; closes it.
    bool takeRangeAlarm() {
        QMessageBox* box = form->rangeAlarm();
        if (!box || !box->isVisible()) return false;
        box->close();
        return true;
    }

    std::unique_ptr<Form1> form;
};

// Runs the whole road with the given typed texts (precision, total weight,
// then one text for each of steps 2 to 7), stopping after step `last`.
inline void runRoad(Window& w, const QStringList& texts, int last) {
    w.type(Ctl::TxtPrecision, texts[0]);
    w.type(Ctl::TxtPoidsTotal, texts[1]);
    w.click(Ctl::Cmd1);
    for (int step = 2; step <= last; ++step) {
        w.type(kInputOf[step - 1], texts[step]);
        w.click(kButtonOf[step - 1]);
    }
}

}  // namespace pesolane::test
