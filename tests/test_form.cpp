// The window as it opens: its controls, their colours and the keyboard.
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QSet>

#include "application.h"
#include "expected_layout.h"
#include "window_fixture.h"

using namespace pesolane;
using namespace pesolane::test;

namespace {

// The widget of that name; fails when there is not exactly one.
QWidget* widgetNamed(Window& w, const QString& name) {
    const QList<QWidget*> found = w->findChildren<QWidget*>(name);
    return found.size() == 1 ? found.first() : nullptr;
}

// The names of the visible text boxes and buttons, by increasing tab index.
QStringList expectedFocusChain(Window& w) {
    QStringList chain;
    for (const ExpectedControl& c : kExpectedControls) {
        const bool focusable = QLatin1String(c.kind) == "TextBox" || QLatin1String(c.kind) == "Button";
        if (focusable && widgetNamed(w, c.qname())->isVisible()) chain << c.qname();
    }
    return chain;
}

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

    void opening_showsExactlyTheStartControls() {
        Window w;
        QCOMPARE(w.shown(), shownAfterAccepted(0));
        for (const ControlSpec& c : controlTable())
            if (c.kind == Kind::TextBox) QVERIFY2(w.text(c.id).isEmpty(), qPrintable(nameOf(c.id)));
        const WorkingValues& v = w->values;
        for (double x : {v.precis, v.PdsTot, v.u, v.PdsEcht1, v.NbEcht1, v.NbTot1, v.Incert1, v.EcartMini, v.EcartMaxi,
                         v.EcartChoisi, v.PdsEcht2, v.v, v.PdsReelEcht2, v.NbEcht2, v.NbTotFinal, v.Incert2, v.NbVoulu,
                         v.PdsNbVoulu, v.Incert3})
            COMPARE_EXACT(x, 0.0);
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

    // Every control against the layout written out in expected_layout.h: its
    // kind, place, caption with its blanks, colours, font and visibility at the opening.
    void controls_matchTheLayout_data() {
        QTest::addColumn<int>("row");
        for (std::size_t i = 0; i < kExpectedControls.size(); ++i)
            QTest::newRow(kExpectedControls[i].name) << int(i);
    }

    void controls_matchTheLayout() {
        QFETCH(int, row);
        const ExpectedControl& c = kExpectedControls[std::size_t(row)];
        const ExpectedStyle& style = expectedStyle(QString::fromLatin1(c.role));
        const QString kind = QString::fromLatin1(c.kind);
        const QString caption = QString::fromUtf8(c.caption);
        Window w;
        QWidget* widget = widgetNamed(w, c.qname());
        QVERIFY2(widget, "exactly one widget of that name");
        QCOMPARE(widget->geometry(), c.geometry());
        QCOMPARE(!widget->isHidden(), c.atStart);
        if (kind == "Label") {
            auto* label = qobject_cast<QLabel*>(widget);
            QVERIFY(label);
            QCOMPARE(label->text(), caption);
            QCOMPARE(label->palette().color(QPalette::Window), expectedColour(style.back));
            QCOMPARE(label->palette().color(QPalette::WindowText), expectedColour(style.text));
            QVERIFY(label->autoFillBackground());
            QVERIFY(label->wordWrap());
        } else if (kind == "TextBox") {
            auto* box = qobject_cast<QLineEdit*>(widget);
            QVERIFY(box);
            QVERIFY(box->text().isEmpty());
            QVERIFY(!box->isReadOnly() && box->isEnabled());
            QCOMPARE(box->palette().color(QPalette::Base), expectedColour(style.back));
            QCOMPARE(box->palette().color(QPalette::Text), expectedColour(style.text));
        } else if (kind == "Button") {
            auto* button = qobject_cast<QPushButton*>(widget);
            QVERIFY(button);
            QCOMPARE(button->text(), caption);
            QVERIFY(!button->isDefault());
            // The face is drawn in the role's colour (checked on pixels by the render test).
            QVERIFY2(button->styleSheet().contains(expectedColour(style.back).name()), qPrintable(button->styleSheet()));
        } else {
            QVERIFY(!qobject_cast<QLabel*>(widget) && !qobject_cast<QLineEdit*>(widget) &&
                    !qobject_cast<QPushButton*>(widget));
            QCOMPARE(widget->palette().color(QPalette::Window), expectedColour(0xFFFFFF));
            return;
        }
        QCOMPARE(widget->font().pixelSize(), style.pixelSize);
        QCOMPARE(widget->font().bold(), style.bold);
        QVERIFY(widget->font().families().contains("Arial"));
        QCOMPARE(widget->focusPolicy() == Qt::NoFocus, kind == "Label");
    }

    void window_holdsNoOtherNamedControl() {
        Window w;
        int named = 0;
        for (QWidget* child : w->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            named += !child->objectName().isEmpty() &&
                     !QStringList{"rangeAlarm", "announcer", "focusRing"}.contains(child->objectName());
        QCOMPARE(named, 63);
    }

    // Tab and Shift+Tab at every stage of the road: the visible text boxes and
    // buttons by tab index, around and around; labels and hidden controls never.
    void tab_followsTheTabIndex_data() {
        QTest::addColumn<int>("accepted");
        QTest::addColumn<QString>("refusal");  // a later refused input, or empty
        for (int n = 0; n <= 7; ++n) QTest::newRow(qPrintable(QStringLiteral("after step %1").arg(n))) << n << "";
        QTest::newRow("step 4 refused") << 3 << "0";
        QTest::newRow("step 7 refused") << 6 << "0";
    }

    void tab_followsTheTabIndex() {
        QFETCH(int, accepted);
        QFETCH(QString, refusal);
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
        if (accepted > 0) runRoad(w, kRoad, accepted);
        if (!refusal.isEmpty()) {
            w.type(kInputOf[accepted], refusal);
            w.click(kButtonOf[accepted]);
        }
        const QStringList expected = expectedFocusChain(w);
        widgetNamed(w, "TxtPrecision")->setFocus();
        QStringList forward{QApplication::focusWidget()->objectName()};
        for (int i = 1; i <= expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            forward << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(forward, expected + QStringList{"TxtPrecision"});
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget()->objectName(), expected.last());
    }

    // The focus ring follows the focus among the boxes and buttons, and goes
    // once the focus leaves them: to the out-of-range message, or to the
    // window itself.
    void focusRing_goesWithTheFocus_data() {
        QTest::addColumn<bool>("toMessage");
        QTest::newRow("to the out-of-range message") << true;
        QTest::newRow("to the window") << false;
    }

    void focusRing_goesWithTheFocus() {
        QFETCH(bool, toMessage);
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
        QWidget* ring = widgetNamed(w, "focusRing");
        w.type(Ctl::TxtPrecision, "1e400");
        w.type(Ctl::TxtPoidsTotal, "1000");
        QVERIFY(ring->isVisible());
        QCOMPARE(ring->geometry(), QRect(109, 45, 119, 33));  // TxtPoidsTotal, 3 px around
        if (toMessage) {
            w.click(Ctl::Cmd1);
            QVERIFY(QTest::qWaitForWindowActive(w->rangeAlarm()));
            QTRY_VERIFY(w->rangeAlarm()->isAncestorOf(QApplication::focusWidget()));
        } else {
            w->setFocus();
        }
        QVERIFY(!ring->isVisible());
        if (toMessage) QVERIFY(w.takeRangeAlarm());
    }

    // Qt's own words follow the desktop's language (also run under en_US).
    void contextMenu_speaksTheDesktopLanguage() {
        Window w;
        const std::unique_ptr<QMenu> menu(w->textBox(Ctl::TxtPrecision)->createStandardContextMenu());
        QStringList words;
        for (QAction* a : menu->actions())
            if (!a->isSeparator()) words << a->text().section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('&'));
        if (qgetenv("LC_ALL").startsWith("en_US"))
            QCOMPARE(words, QStringList({"Undo", "Redo", "Cut", "Copy", "Paste", "Delete", "Select All"}));
        else
            QCOMPARE(words, QStringList({"Annuler", "Rétablir", "Couper", "Copier", "Coller", "Supprimer",
                                         "Tout sélectionner"}));
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
        COMPARE_EXACT(w->values.precis, 0.0);
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
