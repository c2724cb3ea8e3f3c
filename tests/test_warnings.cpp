// What the window tells beside itself, driven by real keys under the French
// locale: the text, the focus left where it was, the place beside the window.
#include <QApplication>
#include <QDebug>
#include <QLabel>

#include <QTemporaryDir>

#include <sqlite3.h>

#include "application.h"
#include "link.h"
#include "notice.h"
#include "recorder.h"
#include "scale_reading.h"
#include "settings.h"
#include "window_fixture.h"

using namespace pesolane;
using namespace pesolane::test;

namespace {

const QString kMiscounted =
    "Le nombre final (50094,3) et la première estimation (5000, ± 50,5) s'écartent plus que leurs incertitudes ne "
    "le permettent : recomptez les pièces des échantillons, ou vérifiez leurs poids.";

// Presses a step's button from the keyboard: Tab from its box, then Space.
void pressByKeys(Window& w, Ctl box, Ctl button) {
    QTest::keyClick(w->textBox(box), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->button(button)));
    QTest::keyClick(w->button(button), Qt::Key_Space);
}

// Types the road up to step 6's count, which it presses from the keyboard.
void countSecondSample(Window& w, const QString& count) {
    runRoad(w, kRoad, 5);
    w.type(Ctl::TxtNb2eme, count);
    pressByKeys(w, Ctl::TxtNb2eme, Ctl::Cmd6);
}

QString told(Window& w) { return w->notice() ? w->notice()->text() : QString(); }

// Lets the window system do what it does when a window appears (on a real
// display, give the focus to a window that asks for it), then says whether
// the keyboard is still where it was.
bool focusStayed(Window& w, QWidget* where) {
    QTest::qWait(300);
    if (QApplication::activeWindow() != w.form.get() || QApplication::focusWidget() != where)
        qWarning() << "active:" << QApplication::activeWindow() << "focus:" << QApplication::focusWidget();
    return QApplication::activeWindow() == w.form.get() && QApplication::focusWidget() == where;
}

// Keys as the keyboard sends them: to whatever has the focus.
void typeOn(const QString& keys) { QTest::keyClicks(QApplication::focusWidget(), keys); }

}  // namespace

class WarningsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { prepareApplication(); }

    // The record keeps each counting's warnings as they were shown, and none
    // for the worked example.
    void warnings_recorded() {
        QTemporaryDir dir;
        const QByteArray path = QFile::encodeName(dir.filePath("journal.db"));
        Window w;
        ScaleLink link{ScaleSettings{}};
        new Recorder(*w, *new ScaleReading(*w, link), path.toStdString(), "");
        countSecondSample(w, "265");
        QCOMPARE(told(w), QString());
        w.type(Ctl::TxtPoidsReel1er, "10,7");
        w.click(Ctl::Cmd2);
        for (int step = 3; step <= 5; ++step) w.type(kInputOf[step - 1], kRoad[step]), w.click(kButtonOf[step - 1]);
        w.type(Ctl::TxtNb2eme, "2655");
        pressByKeys(w, Ctl::TxtNb2eme, Ctl::Cmd6);
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT group_concat(avertissement, '|') FROM comptage ORDER BY numero", -1, &st, nullptr);
        const QString kept = sqlite3_step(st) == SQLITE_ROW ? QString::fromUtf8((const char*)sqlite3_column_text(st, 0)) : "none";
        sqlite3_finalize(st);
        sqlite3_close(db);
        QCOMPARE(kept, "|« 10,7 » est lu 10 : le séparateur décimal est le point (10.7).\n" + kMiscounted);
    }

    // The miscounted second sample: the result shows as ever, the warning beside
    // it, and the keys go on where they went.
    void miscounted_toldBesideAndFocusKept() {
        Window w;
        countSecondSample(w, "2655");
        QCOMPARE(w.text(Ctl::TxtNbTotalCalcule), QString("50094,3"));
        QCOMPARE(w.text(Ctl::TxtIncertitude2), QString("99,5"));
        QVERIFY(w->isShown(Ctl::Cmd7));
        QCOMPARE(told(w), kMiscounted);
        QCOMPARE(w->findChild<QWidget*>("announcer")->accessibleName(), kMiscounted);
        QVERIFY(!w->notice()->frameGeometry().intersects(w->frameGeometry()));
        QVERIFY(focusStayed(w, w->button(Ctl::Cmd6)));
        QVERIFY(QApplication::activeModalWidget() == nullptr);

        // Tab goes on from the button pressed: the final count, its uncertainty, the lot's box.
        for (int i = 0; i < 3; ++i) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->textBox(Ctl::TxtNbVoulu)));
        typeOn("500");
        QCOMPARE(w.text(Ctl::TxtNbVoulu), QString("500"));
        QCOMPARE(told(w), kMiscounted);  // typing does not close it

        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QCOMPARE(told(w), QString());
        QVERIFY(focusStayed(w, w->textBox(Ctl::TxtNbVoulu)));
        QCOMPARE(w.text(Ctl::TxtNbVoulu), QString("500"));
    }

    // The next press closes it; a later warning replaces it.
    void nextPress_closesOrReplaces() {
        Window w;
        countSecondSample(w, "2655");
        QCOMPARE(told(w), kMiscounted);
        w.type(Ctl::TxtNbVoulu, "500");
        pressByKeys(w, Ctl::TxtNbVoulu, Ctl::Cmd7);
        QCOMPARE(told(w), QString());
        w.type(Ctl::TxtNbVoulu, "12 pièces");
        pressByKeys(w, Ctl::TxtNbVoulu, Ctl::Cmd7);
        QCOMPARE(told(w), QString("« 12 pièces » est lu 12."));
        w.type(Ctl::TxtNbVoulu, "25,5");
        pressByKeys(w, Ctl::TxtNbVoulu, Ctl::Cmd7);
        QCOMPARE(told(w), QString("« 25,5 » est lu 25 : le séparateur décimal est le point (25.5)."));
        QCOMPARE(w->findChildren<QWidget*>("notice").size(), qsizetype(1));
    }

    // A decimal comma in the first sample's weight is told; the step goes on
    // with the number read, as it always has.
    void decimalComma_told() {
        Window w;
        runRoad(w, kRoad, 1);
        w.type(Ctl::TxtPoidsReel1er, "10,7");
        pressByKeys(w, Ctl::TxtPoidsReel1er, Ctl::Cmd2);
        QCOMPARE(told(w), QString("« 10,7 » est lu 10 : le séparateur décimal est le point (10.7)."));
        QVERIFY(w->isShown(Ctl::Cmd3));
        QVERIFY(focusStayed(w, w->button(Ctl::Cmd2)));
        w.type(Ctl::TxtNb1er, "50");
        w.click(Ctl::Cmd3);
        QCOMPARE(w.text(Ctl::TxtNbTotalApproxi), QString("5000,"));
    }
};

QTEST_MAIN(WarningsTest)
#include "test_warnings.moc"
