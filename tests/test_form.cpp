// The window as it opens: its controls, their colours and the keyboard.
#include <QApplication>
#include <QLabel>
#include <QSet>

#include "window_fixture.h"

using namespace pesolane;
using namespace pesolane::test;

namespace {
QColor rgb(std::uint32_t c) { return QColor::fromRgb(QRgb(0xFF000000u | c)); }
}  // namespace

class FormTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { prepareApplication(); }

    void table_countsKindsAndRoles() {
        int kinds[4] = {};
        int roles[kRoleCount] = {};
        for (const ControlSpec& c : controlTable()) {
            ++kinds[static_cast<int>(c.kind)];
            ++roles[static_cast<int>(c.role)];
        }
        QCOMPARE(kinds[int(Kind::Label)], 30);
        QCOMPARE(kinds[int(Kind::TextBox)], 18);
        QCOMPARE(kinds[int(Kind::Button)], 8);
        QCOMPARE(kinds[int(Kind::Line)], 7);
        const int expected[kRoleCount] = {8, 8, 3, 11, 8, 8, 2, 7, 1, 7};
        for (std::size_t r = 0; r < kRoleCount; ++r) QCOMPARE(roles[r], expected[r]);
    }

    void table_namesUniqueRectsInsideTabsAPermutation() {
        QSet<QString> names;
        QSet<int> tabs;
        for (const ControlSpec& c : controlTable()) {
            names.insert(nameOf(c.id));
            QVERIFY2(c.rect.x >= 0 && c.rect.y >= 0 && c.rect.x + c.rect.w <= kClientWidth &&
                         c.rect.y + c.rect.h <= kClientHeight,
                     qPrintable(nameOf(c.id)));
            if (c.kind == Kind::Line) {
                QCOMPARE(c.tab, -1);
            } else {
                QVERIFY(c.tab >= 0 && c.tab < 56);
                tabs.insert(c.tab);
            }
            const bool spoken = c.kind == Kind::TextBox || c.kind == Kind::Button;
            QCOMPARE(!c.spoken.empty(), spoken);
        }
        QCOMPARE(names.size(), 63);
        QCOMPARE(tabs.size(), 56);
    }

    void opening_showsExactlyTheStartControls() {
        Window w;
        QCOMPARE(w.shown(), shownAfterAccepted(0));
        for (const ControlSpec& c : controlTable())
            if (c.kind == Kind::TextBox) QVERIFY2(w.text(c.id).isEmpty(), qPrintable(nameOf(c.id)));
        const WorkingValues& v = w->values;
        for (double x : {v.precis, v.PdsTot, v.u, v.PdsEcht1, v.NbEcht1, v.NbTot1, v.Incert1, v.EcartMini, v.EcartMaxi,
                         v.EcartChoisi, v.PdsEcht2, v.v, v.PdsReelEcht2, v.NbEcht2, v.NbTotFinal, v.Incert2, v.NbVoulu,
                         v.PdsNbVoulu, v.Incert3})
            QCOMPARE(x, 0.0);
        QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
        QCOMPARE(QApplication::focusWidget(), w->widget(Ctl::TxtPrecision));
    }

    void window_titleSizeAndBackColour() {
        Window w;
        QCOMPARE(w->windowTitle(), QString(185, ' ') + "PESOLANE V1.0     01-01-2012");
        QCOMPARE(w->size(), QSize(736, 630));
        QCOMPARE(w->minimumSize(), QSize(736, 630));
        QCOMPARE(w->maximumSize(), QSize(736, 630));
        QCOMPARE(w->palette().color(QPalette::Window), QColor(0x40, 0x40, 0x40));
    }

    void captions_keepTheirBlanks_data() {
        QTest::addColumn<int>("control");
        QTest::addColumn<QString>("caption");
        QTest::newRow("seven blanks") << int(Ctl::LblNbTotalCalcule) << "Nb total       de pièces calculé";
        QTest::newRow("two before >, step 3") << int(Ctl::LblErrNbEcht1) << "Il faut que le nombre de pièces soit  > = 1";
        QTest::newRow("two before >, step 6") << int(Ctl::LblErrNbEcht2) << "Il faut que le nombre de pièces soit  > = 1";
        QTest::newRow("one before >, step 7") << int(Ctl::LblErrNbVouluInf1) << "Il faut que le nombre de pièces soit > = 1";
        QTest::newRow("five after faible") << int(Ctl::LblErrPrecision) << "Poids total faible     mini = 10 x précision";
        QTest::newRow("four after de") << int(Ctl::LblEcartNbVoulu) << "Ecart sur le nombre de    pièces du lot";
        QTest::newRow("around <") << int(Ctl::LblPds1erFort)
                                  << "Le poids réel du premier échantillon doit être  <  au poids total";
        QTest::newRow("quit") << int(Ctl::CmdQuitter) << "FIN";
        QTest::newRow("step button") << int(Ctl::Cmd4) << "4";
    }

    void captions_keepTheirBlanks() {
        QFETCH(int, control);
        QFETCH(QString, caption);
        Window w;
        QWidget* widget = w->widget(static_cast<Ctl>(control));
        if (auto* label = qobject_cast<QLabel*>(widget))
            QCOMPARE(label->text(), caption);
        else
            QCOMPARE(qobject_cast<QPushButton*>(widget)->text(), caption);
    }

    void controls_takeTheirRoleColoursAndPlace() {
        Window w;
        for (const ControlSpec& c : controlTable()) {
            QWidget* widget = w->widget(c.id);
            const RoleStyle& style = styleOf(c.role);
            QCOMPARE(widget->geometry(), QRect(c.rect.x, c.rect.y, c.rect.w, c.rect.h));
            switch (c.kind) {
            case Kind::Label:
                QCOMPARE(widget->palette().color(QPalette::Window), rgb(style.back));
                QCOMPARE(widget->palette().color(QPalette::WindowText), rgb(style.text));
                QVERIFY(widget->autoFillBackground());
                break;
            case Kind::TextBox:
                QCOMPARE(widget->palette().color(QPalette::Base), rgb(style.back));
                QCOMPARE(widget->palette().color(QPalette::Text), rgb(style.text));
                QCOMPARE(widget->accessibleName(), QString::fromUtf8(c.spoken.data(), qsizetype(c.spoken.size())));
                break;
            case Kind::Button:
                QVERIFY2(widget->styleSheet().contains(rgb(style.back).name()), qPrintable(nameOf(c.id)));
                QVERIFY(!widget->accessibleName().isEmpty());
                break;
            case Kind::Line:
                QCOMPARE(widget->palette().color(QPalette::Window), QColor(Qt::white));
                break;
            }
            if (c.kind != Kind::Line) {
                QCOMPARE(widget->font().pixelSize(), style.pixelSize);
                QCOMPARE(widget->font().bold(), style.bold);
            }
        }
    }

    void tab_visitsOnlyVisibleBoxesAndButtonsInOrder() {
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
        const Ctl expected[] = {Ctl::TxtPoidsTotal, Ctl::Cmd1, Ctl::CmdQuitter, Ctl::TxtPrecision};
        for (Ctl next : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), nameOf(next));
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget()->objectName(), nameOf(Ctl::CmdQuitter));
    }

    void enterOrEscapeInABox_pressesNothing_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("return") << int(Qt::Key_Return);
        QTest::newRow("enter") << int(Qt::Key_Enter);
        QTest::newRow("escape") << int(Qt::Key_Escape);
    }

    void enterOrEscapeInABox_pressesNothing() {
        QFETCH(int, key);
        Window w;
        w.type(Ctl::TxtPrecision, "0.1");
        w.type(Ctl::TxtPoidsTotal, "1000");
        QTest::keyClick(w->textBox(Ctl::TxtPoidsTotal), Qt::Key(key));
        QCOMPARE(w.shown(), shownAfterAccepted(0));
        QVERIFY(w->isVisible());
        QCOMPARE(w->values.precis, 0.0);
    }

    void spaceOrEnterOnAFocusedButton_pressesIt_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("space") << int(Qt::Key_Space);
        QTest::newRow("return") << int(Qt::Key_Return);
    }

    void spaceOrEnterOnAFocusedButton_pressesIt() {
        QFETCH(int, key);
        Window w;
        w.type(Ctl::TxtPrecision, "0.1");
        w.type(Ctl::TxtPoidsTotal, "1000");
        w->button(Ctl::Cmd1)->setFocus();
        QTest::keyClick(w->button(Ctl::Cmd1), Qt::Key(key));
        QCOMPARE(w.shown(), shownAfterAccepted(1));
    }

    void resultBox_keepsWhatTheOperatorTypes() {
        Window w;
        runRoad(w, {"0.1", "1000"}, 1);
        w.type(Ctl::TxtPoidsTheo1er, "typed");
        w.type(Ctl::TxtPoidsReel1er, "10");
        w.click(Ctl::Cmd2);
        QCOMPARE(w.text(Ctl::TxtPoidsTheo1er), QString("typed"));
    }
};

QTEST_MAIN(FormTest)
#include "test_form.moc"
