// The seven steps, driven by typing and clicking in a real window.
#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMap>
#include <QTimer>

#include <charconv>
#include <cstdlib>

#include "application.h"
#include "expected_layout.h"
#include "window_fixture.h"

using namespace pesolane;
using namespace pesolane::test;

namespace {

// What a screen reader is told: every show event of a notification, with
// the object's name and what it says.
struct Spoken {
    QString object;
    QString says;
};
std::vector<Spoken> gSpoken;

void recordAccessibility(QAccessibleEvent* event) {
    QAccessibleInterface* iface = event->accessibleInterface();
    if (event->type() == QAccessible::ObjectShow && iface && iface->role() == QAccessible::Notification)
        gSpoken.push_back({event->object()->objectName(), iface->text(QAccessible::Name)});
}

// The number a plain typed text stands for, read by the standard library
// (the program's own reading is not used to state what it must store).
double typedValue(const QString& text) {
    const QByteArray a = text.toLatin1();
    double x = 0;
    std::from_chars(a.constData(), a.constData() + a.size(), x);
    return x;
}

// Types `text` as the input of `step` (1 to 7) and presses its button; step 1
// takes the road's total weight beside the typed precision.
void enter(Window& w, int step, const QString& text) {
    if (step == 1) {
        w.type(Ctl::TxtPrecision, text);
        w.type(Ctl::TxtPoidsTotal, kRoad[1]);
    } else {
        w.type(kInputOf[step - 1], text);
    }
    w.click(kButtonOf[step - 1]);
}

// The text boxes by name, from the layout written out for the tests.
QStringList boxNames() {
    QStringList names;
    for (const ExpectedControl& c : kExpectedControls)
        if (QLatin1String(c.kind) == "TextBox") names << c.qname();
    return names;
}

QString boxText(Window& w, const QString& name) { return w->findChild<QLineEdit*>(name)->text(); }

// The working values, in their order, with the step that writes each.
struct Owned {
    const char* name;
    double WorkingValues::*value;
    int step;
    bool result;  // computed, not typed
};
const Owned kOwned[] = {
    {"precis", &WorkingValues::precis, 1, false},         {"PdsTot", &WorkingValues::PdsTot, 1, false},
    {"u", &WorkingValues::u, 1, true},                    {"PdsEcht1", &WorkingValues::PdsEcht1, 2, false},
    {"NbEcht1", &WorkingValues::NbEcht1, 3, false},       {"NbTot1", &WorkingValues::NbTot1, 3, true},
    {"Incert1", &WorkingValues::Incert1, 3, true},        {"EcartMini", &WorkingValues::EcartMini, 3, true},
    {"EcartMaxi", &WorkingValues::EcartMaxi, 3, true},    {"EcartChoisi", &WorkingValues::EcartChoisi, 4, false},
    {"PdsEcht2", &WorkingValues::PdsEcht2, 4, true},      {"v", &WorkingValues::v, 4, true},
    {"PdsReelEcht2", &WorkingValues::PdsReelEcht2, 5, false}, {"NbEcht2", &WorkingValues::NbEcht2, 6, false},
    {"NbTotFinal", &WorkingValues::NbTotFinal, 6, true},  {"Incert2", &WorkingValues::Incert2, 6, true},
    {"NbVoulu", &WorkingValues::NbVoulu, 7, false},       {"PdsNbVoulu", &WorkingValues::PdsNbVoulu, 7, true},
    {"Incert3", &WorkingValues::Incert3, 7, true},
};

}  // namespace



class StepsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { prepareApplication(); }

    void init() {
        // A modal message left open by a test would hide the next test's faults.
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    void roadOfOneCounting_showsEveryResult() {
        Window w;
        const QString expectedAfter[7][2] = {{"1", ""}, {"", ""}, {"5000,", "50,5"}, {"52,631579", ""},
                                             {"", ""}, {"5000,", "9,9"}, {"100,", "1,4"}};
        const Ctl resultsOf[7][2] = {{Ctl::TxtPoidsTheo1er, Ctl::TxtPoidsTheo1er}, {},
                                     {Ctl::TxtNbTotalApproxi, Ctl::TxtIncertitude1}, {Ctl::TxtPoidsTheo2eme},
                                     {}, {Ctl::TxtNbTotalCalcule, Ctl::TxtIncertitude2},
                                     {Ctl::TxtPoidsNbVoulu, Ctl::TxtIncertitude3}};
        for (int step = 1; step <= 7; ++step) {
            if (step == 1) {
                runRoad(w, kRoad, 1);
            } else {
                w.type(kInputOf[step - 1], kRoad[step]);
                w.click(kButtonOf[step - 1]);
            }
            QCOMPARE(w.shown(), shownAfterAccepted(step));
            if (!expectedAfter[step - 1][0].isEmpty()) QCOMPARE(w.text(resultsOf[step - 1][0]), expectedAfter[step - 1][0]);
            if (!expectedAfter[step - 1][1].isEmpty()) QCOMPARE(w.text(resultsOf[step - 1][1]), expectedAfter[step - 1][1]);
        }
        QCOMPARE(w.text(Ctl::TxtEcartMini), QString("1,"));
        QCOMPARE(w.text(Ctl::TxtEcartMaxi), QString("500,5"));
        COMPARE_EXACT(w->values.v, w->values.PdsEcht2);
        QVERIFY(!w.takeRangeAlarm());
    }

    // Every working value, bit for bit, against the formulas evaluated here in
    // their fixed order. The roads are chosen so that other orders of the same
    // operations give other last bits.
    void road_storesExactValues_data() {
        QTest::addColumn<QStringList>("road");
        QTest::newRow("worked example") << kRoad;
        QTest::newRow("coarse scale") << QStringList{"0.3", "3418.2", "403.03", "325", "180.61", "5.4", "5", "2476"};
        QTest::newRow("light total") << QStringList{"0.2", "143.0", "44.9", "66", "15.642", "3.8", "6", "110"};
        QTest::newRow("few pieces") << QStringList{"0.7", "367.5", "96.2", "7", "0.15", "194.33", "13", "17"};
    }

    void road_storesExactValues() {
        QFETCH(QStringList, road);
        Window w;
        runRoad(w, road, 7);
        QCOMPARE(w.shown(), shownAfterAccepted(7));
        const double p = typedValue(road[0]), T = typedValue(road[1]), S1 = typedValue(road[2]);
        const double n1 = typedValue(road[3]), E = typedValue(road[4]), S2 = typedValue(road[5]);
        const double n2 = typedValue(road[6]), nv = typedValue(road[7]);
        const double N1 = (T * n1) / S1;
        const double PE2 = ((N1 * p) * T) / ((T * E) - (N1 * p));
        const double NF = (n2 * T) / S2;
        const double PV = (S2 * nv) / n2;
        const double expected[19] = {p, T, p * 10, S1, n1, N1,
                                     ((T + S1) * (p * N1)) / (T * S1),
                                     ((N1 + N1) * p) / T,
                                     (((N1 * 10) * p) + (T * N1)) / (T * 10),
                                     E, PE2, PE2, S2, n2, NF,
                                     ((p * NF) * (S2 + T)) / (S2 * T),
                                     nv, PV,
                                     ((p * nv) * (PV + S2)) / (PV * S2)};
        for (int i = 0; i < 19; ++i) {
            const double stored = w->values.*kOwned[i].value;
            QVERIFY2(sameBits(stored, expected[i]), qPrintable(QStringLiteral("%1 is %2, expected %3")
                                                                     .arg(kOwned[i].name, full(stored), full(expected[i]))));
        }
    }

    // Pressing a step again, after any later outcome (accepted, refused, out of
    // range) or its own refusal, with a valid or a refused text: the window shows
    // exactly what that press shows in a window that never went further, and
    // every box it neither shows nor empties keeps its text.
    void pressAgain_afterAnyOutcome_data() {
        QTest::addColumn<int>("later");
        QTest::addColumn<QString>("laterText");
        QTest::addColumn<int>("again");
        QTest::addColumn<QString>("againText");
        struct Outcome {
            int step;
            const char* text;
            bool accepted;
        };
        const Outcome outcomes[] = {
            {1, "0", false},   {1, "1000", false}, {1, "1e400", false},
            {2, "10", true},   {2, "0.5", false},  {2, "5000", false}, {2, "1e400", false},
            {3, "50", true},   {3, "0", false},    {3, "1e400", false},
            {4, "10", true},   {4, "0.5", false},  {4, "600", false},  {4, "1e400", false},
            {5, "53", true},   {5, "1", false},    {5, "1e400", false},
            {6, "265", true},  {6, "0", false},    {6, "1e400", false},
            {7, "500", true},  {7, "0", false},    {7, "6000", false}, {7, "1e400", false},
        };
        for (int again = 1; again <= 7; ++again) {
            const QString valid = kRoad[again == 1 ? 0 : again];
            for (const Outcome& o : outcomes) {
                if (o.step < again || (o.step == again && o.accepted)) continue;
                QTest::addRow("%d again after %d '%s'", again, o.step, o.text) << o.step << o.text << again << valid;
            }
            for (const Outcome& o : outcomes) {
                if (o.step != again || o.accepted) continue;
                for (const char* last : {"500", "0", "6000", "1e400"})
                    QTest::addRow("%d refused '%s' after 7 '%s'", again, o.text, last) << 7 << last << again << o.text;
            }
        }
    }

    void pressAgain_afterAnyOutcome() {
        QFETCH(int, later);
        QFETCH(QString, laterText);
        QFETCH(int, again);
        QFETCH(QString, againText);
        // The boxes each step empties before it reads its input.
        const QStringList emptiedBy[7] = {{"TxtPoidsReel1er", "TxtNb1er", "TxtEcartChoisi"},
                                          {"TxtNb1er", "TxtEcartChoisi"},
                                          {"TxtEcartChoisi"},
                                          {"TxtPoidsReel2eme", "TxtPoidsTheo2eme"},
                                          {"TxtNb2eme"},
                                          {"TxtNbVoulu"},
                                          {"TxtPoidsNbVoulu", "TxtIncertitude3"}};
        Window w;
        if (later > 1) runRoad(w, kRoad, later - 1);
        enter(w, later, laterText);
        w.takeRangeAlarm();
        QMap<QString, QString> textsBefore;
        for (const QString& box : boxNames()) textsBefore[box] = boxText(w, box);
        const WorkingValues before = w->values;
        enter(w, again, againText);
        const bool alarm = w.takeRangeAlarm();

        Window fresh;
        if (again > 1) runRoad(fresh, kRoad, again - 1);
        enter(fresh, again, againText);
        QCOMPARE(fresh.takeRangeAlarm(), alarm);

        QCOMPARE(w.shown(), fresh.shown());
        if (againText == kRoad[again == 1 ? 0 : again]) QCOMPARE(w.shown(), shownAfterAccepted(again));
        for (const QString& box : boxNames()) {
            const bool written = w->findChild<QLineEdit*>(box)->isVisible() || emptiedBy[again - 1].contains(box);
            QCOMPARE(box + ": " + boxText(w, box), box + ": " + (written ? boxText(fresh, box) : textsBefore[box]));
        }
        for (const Owned& o : kOwned) {
            const double now = w->values.*o.value;
            if (o.step != again) {
                QVERIFY2(sameBits(now, before.*o.value), o.name);
            } else {
                // Stored by this press as in the fresh window, or left as it was.
                QVERIFY2(sameBits(now, fresh->values.*o.value) || sameBits(now, before.*o.value), o.name);
            }
        }
    }

    // A screen reader hears each refusal (its red label, again when it was
    // already up) and each press's results, once, and nothing for a press
    // that changes nothing.
    void announcements_data() {
        QTest::addColumn<int>("step");       // the road is accepted up to the step before
        QTest::addColumn<QString>("text");   // typed at that step
        QTest::addColumn<int>("presses");    // the same press, repeated
        QTest::addColumn<QStringList>("heard");  // the label's name, or what the announcement holds; empty: nothing
        QTest::addColumn<QString>("first");      // accepted once at that step before, unheard; or empty
        QTest::newRow("1 precision") << 1 << "0" << 2 << QStringList{"LblErrPrecisionPlus"} << "";
        QTest::newRow("1 total") << 1 << "1000" << 2 << QStringList{"LblErrPrecision"} << "";
        QTest::newRow("2 light") << 2 << "0.5" << 2 << QStringList{"LblPds1erFaible"} << "";
        QTest::newRow("2 heavy") << 2 << "5000" << 2 << QStringList{"LblPds1erFort"} << "";
        QTest::newRow("3 count") << 3 << "0" << 2 << QStringList{"LblErrNbEcht1"} << "";
        QTest::newRow("4 small") << 4 << "0.5" << 2 << QStringList{"LblEcartPetit"} << "";
        QTest::newRow("4 large") << 4 << "600" << 2 << QStringList{"LblEcartGrand"} << "";
        QTest::newRow("5 light") << 5 << "1" << 2 << QStringList{"LblPoids2emeFaible"} << "";
        QTest::newRow("6 count") << 6 << "0" << 2 << QStringList{"LblErrNbEcht2"} << "";
        QTest::newRow("7 below one") << 7 << "0" << 2 << QStringList{"LblErrNbVouluInf1"} << "";
        QTest::newRow("7 too many") << 7 << "6000" << 2 << QStringList{"LblNbVouluGrand"} << "";
        QTest::newRow("1 accepted") << 1 << "0.1" << 1
                                    << QStringList{"premier échantillon : 1 ;", "Étape 2 : saisir le poids réel"} << "";
        QTest::newRow("2 accepted") << 2 << "10" << 1 << QStringList{"Étape 3 : saisir le nombre de pièces"} << "";
        QTest::newRow("3 accepted") << 3 << "50" << 1
                                    << QStringList{"Première estimation du nombre total de pièces : 5000,", "plus ou moins : 50,5",
                                                   "Écart minimum par rapport au nombre total de pièces : 1,",
                                                   "Écart maximum par rapport au nombre total de pièces : 500,5",
                                                   "Étape 4 : saisir l'écart choisi"} << "";
        QTest::newRow("4 accepted") << 4 << "10" << 1
                                    << QStringList{"deuxième échantillon : 52,631579", "Étape 5 : saisir"} << "";
        QTest::newRow("5 accepted") << 5 << "53" << 1 << QStringList{"Étape 6 : saisir le nombre de pièces"} << "";
        QTest::newRow("6 accepted") << 6 << "265" << 1
                                    << QStringList{"Nombre total de pièces calculé : 5000,", "plus ou moins : 9,9",
                                                   "Étape 7 : saisir le nombre voulu"} << "";
        QTest::newRow("7 accepted") << 7 << "500" << 1
                                    << QStringList{"Poids du lot de pièces : 100,", "plus ou moins : 1,4"} << "";
        QTest::newRow("2 again, nothing changes") << 2 << "10" << 2 << QStringList{} << "";
        QTest::newRow("7 again, nothing changes") << 7 << "500" << 2 << QStringList{} << "";
        QTest::newRow("7 again, another lot") << 7 << "1000" << 1
                                              << QStringList{"Poids du lot de pièces : 200,", "plus ou moins : 2,4"}
                                              << "500";
    }

    void announcements() {
        QFETCH(int, step);
        QFETCH(QString, text);
        QFETCH(int, presses);
        QFETCH(QStringList, heard);
        QFETCH(QString, first);
        // Qt reports accessibility events only while an assistive technology
        // listens: tests/with_atspi.sh runs this test on the AT-SPI bus.
        if (qEnvironmentVariableIsEmpty("PESOLANE_ATSPI")) QSKIP("needs the AT-SPI bus (tests/with_atspi.sh)");
        QTRY_VERIFY_WITH_TIMEOUT(QAccessible::isActive(), 10000);
        QAccessible::installUpdateHandler(recordAccessibility);
        Window w;
        if (step > 1) runRoad(w, kRoad, step - 1);
        if (!first.isEmpty()) enter(w, step, first);
        for (int i = 1; i <= presses; ++i) {
            gSpoken.clear();
            enter(w, step, text);
            const bool refusal = !heard.isEmpty() && heard[0].startsWith("Lbl");
            if (i > 1 && !refusal) {  // a repeated press that changes nothing says nothing
                QCOMPARE(gSpoken.size(), std::size_t(0));
                continue;
            }
            QCOMPARE(gSpoken.size(), std::size_t(1));
            if (refusal) {
                QCOMPARE(gSpoken[0].object, heard[0]);
                QCOMPARE(gSpoken[0].says, w->findChild<QLabel*>(heard[0])->text());
            } else {
                QCOMPARE(gSpoken[0].object, QString("announcer"));
                for (const QString& part : heard)
                    QVERIFY2(gSpoken[0].says.contains(part), qPrintable(gSpoken[0].says + " lacks " + part));
            }
        }
        QAccessible::installUpdateHandler(nullptr);
    }

    void step1_acceptsAndShowsMinimumWeight() {
        // Also run under German and English locales: the shown separator is the locale's.
        const QByteArray lang = qgetenv("LC_ALL");
        const QString sep = lang.startsWith("en_") ? "." : ",";
        Window w;
        runRoad(w, {"0.25", "100"}, 1);
        QCOMPARE(w.text(Ctl::TxtPoidsTheo1er), "2" + sep + "5");
        QCOMPARE(w.shown(), shownAfterAccepted(1));
        w.type(Ctl::TxtPrecision, "0,25");  // typed with a comma: reads 0 under every locale
        w.click(Ctl::Cmd1);
        QCOMPARE(w.shown(), shownAfterAccepted(0, {Ctl::LblErrPrecisionPlus}));
    }

    void step1_outcomes_data() {
        QTest::addColumn<QString>("precision");
        QTest::addColumn<QString>("total");
        QTest::addColumn<int>("errorLabel");  // -1: accepted
        QTest::addColumn<double>("u");
        const int plus = int(Ctl::LblErrPrecisionPlus), low = int(Ctl::LblErrPrecision);
        QTest::newRow("zero precision") << "0" << "100" << plus << 0.0;
        QTest::newRow("empty precision") << "" << "100" << plus << 0.0;
        QTest::newRow("letters") << "abc" << "100" << plus << 0.0;
        QTest::newRow("negative") << "-1" << "100" << plus << 0.0;
        QTest::newRow("comma half") << "0,5" << "100" << plus << 0.0;
        QTest::newRow("comma reads 2") << "2,5" << "20" << -1 << 20.0;
        QTest::newRow("bound included") << "0.5" << "5" << -1 << 5.0;
        QTest::newRow("just below bound") << "0.5" << "4.99" << low << 5.0;
        QTest::newRow("empty total") << "0.5" << "" << low << 5.0;
        QTest::newRow("tenth") << "0.1" << "1" << -1 << 1.0;
        QTest::newRow("one step below the bound") << "0.5" << "4.999999999999999" << low << 5.0;
        QTest::newRow("tiny precision") << "1e-300" << "1" << -1 << 1e-300 * 10;
        QTest::newRow("precision too large for the total") << "1000" << "1000" << low << 10000.0;
    }

    void step1_outcomes() {
        QFETCH(QString, precision);
        QFETCH(QString, total);
        QFETCH(int, errorLabel);
        QFETCH(double, u);
        Window w;
        runRoad(w, {precision, total}, 1);
        if (errorLabel < 0) {
            QCOMPARE(w.shown(), shownAfterAccepted(1));
        } else {
            QCOMPARE(w.shown(), shownAfterAccepted(0, {Ctl(errorLabel)}));
        }
        // Each value is stored before it is validated; a refused precision stops the reading.
        COMPARE_EXACT(w->values.precis, typedValue(precision));
        COMPARE_EXACT(w->values.PdsTot, errorLabel == int(Ctl::LblErrPrecisionPlus) ? 0.0 : typedValue(total));
        COMPARE_EXACT(w->values.u, u);
    }

    void step1_afterTheWholeRoad_resetsEverything_data() {
        QTest::addColumn<QString>("precision");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("valid") << "0.1" << true;
        QTest::newRow("invalid") << "0" << false;
    }

    void step1_afterTheWholeRoad_resetsEverything() {
        QFETCH(QString, precision);
        QFETCH(bool, accepted);
        Window w;
        runRoad(w, kRoad, 7);
        w.type(Ctl::TxtNbVoulu, "0");
        w.click(Ctl::Cmd7);  // an error label of a later step is up
        const double pdsEcht1 = w->values.PdsEcht1;
        w.type(Ctl::TxtPrecision, precision);
        w.click(Ctl::Cmd1);
        QCOMPARE(w.shown(), accepted ? shownAfterAccepted(1) : shownAfterAccepted(0, {Ctl::LblErrPrecisionPlus}));
        for (Ctl box : {Ctl::TxtPoidsReel1er, Ctl::TxtNb1er, Ctl::TxtEcartChoisi}) QVERIFY(w.text(box).isEmpty());
        COMPARE_EXACT(w->values.PdsEcht1, pdsEcht1);
        QCOMPARE(w.text(Ctl::TxtNbVoulu), QString("0"));  // hidden boxes keep their text
    }

    void step2_outcomes_data() {
        QTest::addColumn<QString>("weight");
        QTest::addColumn<int>("errorLabel");
        QTest::addColumn<double>("stored");
        const int light = int(Ctl::LblPds1erFaible), heavy = int(Ctl::LblPds1erFort);
        QTest::newRow("lower bound included") << "5" << -1 << 5.0;
        QTest::newRow("below") << "4.99" << light << 4.99;
        QTest::newRow("upper bound excluded") << "100" << heavy << 100.0;
        QTest::newRow("just under total") << "99.99" << -1 << 99.99;
        QTest::newRow("empty") << "" << light << 0.0;
        QTest::newRow("negative") << "-7" << light << -7.0;
        QTest::newRow("comma reads 5") << "5,9" << -1 << 5.0;
        QTest::newRow("comma reads 4") << "4,9" << light << 4.0;
        QTest::newRow("one step below the minimum") << "4.999999999999999" << light << 4.999999999999999;
        QTest::newRow("one step below the total") << "99.99999999999999" << -1 << 99.99999999999999;
        QTest::newRow("above the total") << "100.5" << heavy << 100.5;
    }

    void step2_outcomes() {
        QFETCH(QString, weight);
        QFETCH(int, errorLabel);
        QFETCH(double, stored);
        Window w;
        runRoad(w, {"0.5", "100", weight}, 2);
        QCOMPARE(w.shown(), errorLabel < 0 ? shownAfterAccepted(2) : shownAfterAccepted(1, {Ctl(errorLabel)}));
        COMPARE_EXACT(w->values.PdsEcht1, stored);  // stored before it is validated
    }

    void step2_totalEqualToMinimum_acceptsNoWeight() {
        Window w;
        runRoad(w, {"0.5", "5", "5"}, 2);
        QCOMPARE(w.shown(), shownAfterAccepted(1, {Ctl::LblPds1erFort}));
        w.type(Ctl::TxtPoidsReel1er, "4.9");
        w.click(Ctl::Cmd2);
        QCOMPARE(w.shown(), shownAfterAccepted(1, {Ctl::LblPds1erFaible}));
    }

    void step2_usesStoredBoundsNotEditedTexts() {
        Window w;
        runRoad(w, {"0.5", "100"}, 1);
        w.type(Ctl::TxtPoidsTotal, "1000");
        w.type(Ctl::TxtPoidsReel1er, "500");
        w.click(Ctl::Cmd2);
        QCOMPARE(w.shown(), shownAfterAccepted(1, {Ctl::LblPds1erFort}));
    }

    void step3_outcomes_data() {
        QTest::addColumn<QStringList>("road");
        QTest::addColumn<QStringList>("shown");  // estimate, uncertainty, minimum, maximum; empty: rejected
        QTest::newRow("first example") << QStringList{"0.1", "1000", "10", "50"}
                                       << QStringList{"5000,", "50,5", "1,", "500,5"};
        QTest::newRow("second example") << QStringList{"0.5", "2000", "25", "37"}
                                        << QStringList{"2960,", "59,9", "1,48", "296,74"};
        QTest::newRow("one piece") << QStringList{"0.1", "1000", "10", "1"} << QStringList{"100,", "1,", "0,02", "10,01"};
        QTest::newRow("comma reads 1") << QStringList{"0.1", "1000", "10", "1,5"}
                                       << QStringList{"100,", "1,", "0,02", "10,01"};
        QTest::newRow("unit after count") << QStringList{"0.1", "1000", "10", "50 pièces"}
                                          << QStringList{"5000,", "50,5", "1,", "500,5"};
        QTest::newRow("just below one") << QStringList{"0.1", "1000", "10", "0.999"} << QStringList{};
        QTest::newRow("empty") << QStringList{"0.1", "1000", "10", ""} << QStringList{};
        QTest::newRow("negative") << QStringList{"0.1", "1000", "10", "-3"} << QStringList{};
        QTest::newRow("one step below one") << QStringList{"0.1", "1000", "10", "0.9999999999999999"} << QStringList{};
        QTest::newRow("not whole") << QStringList{"0.1", "1000", "10", "2.5"} << QStringList{"250,", "2,5", "0,05", "25,025"};
    }

    void step3_outcomes() {
        QFETCH(QStringList, road);
        QFETCH(QStringList, shown);
        Window w;
        runRoad(w, road, 3);
        COMPARE_EXACT(w->values.NbEcht1, typedValue(road[3]));  // stored before it is validated
        if (shown.isEmpty()) {
            QCOMPARE(w.shown(), shownAfterAccepted(2, {Ctl::LblErrNbEcht1}));
            COMPARE_EXACT(w->values.NbTot1, 0.0);
            COMPARE_EXACT(w->values.EcartMaxi, 0.0);
            return;
        }
        QCOMPARE(w.shown(), shownAfterAccepted(3));
        const Ctl boxes[] = {Ctl::TxtNbTotalApproxi, Ctl::TxtIncertitude1, Ctl::TxtEcartMini, Ctl::TxtEcartMaxi};
        for (int i = 0; i < 4; ++i) QCOMPARE(w.text(boxes[i]), shown[i]);
        QVERIFY(w.text(Ctl::TxtEcartChoisi).isEmpty());
    }

    void step3_rejectionAfterAcceptance_keepsOldValuesHidden() {
        Window w;
        runRoad(w, kRoad, 4);
        w.type(Ctl::TxtNb1er, "0");
        w.click(Ctl::Cmd3);
        QCOMPARE(w.shown(), shownAfterAccepted(2, {Ctl::LblErrNbEcht1}));
        COMPARE_EXACT(w->values.NbTot1, 5000.0);
        COMPARE_EXACT(w->values.NbEcht1, 0.0);
        w.type(Ctl::TxtNb1er, "50");
        w.click(Ctl::Cmd3);
        QCOMPARE(w.shown(), shownAfterAccepted(3));
    }

    void step4_outcomes_data() {
        QTest::addColumn<QStringList>("road");
        QTest::addColumn<QString>("shown");  // the second sample's minimum, or the error label's name
        const QStringList first{"0.1", "1000", "10", "50"};
        const QStringList second{"0.5", "2000", "25", "37"};
        QTest::newRow("road") << (first + QStringList{"10"}) << "52,631579";
        QTest::newRow("minimum included") << (first + QStringList{"1"}) << "1000,";
        QTest::newRow("maximum included") << (first + QStringList{"500.5"}) << "1,";
        QTest::newRow("copied maximum with comma") << (first + QStringList{"500,5"}) << "1,001001";
        QTest::newRow("too small") << (first + QStringList{"0.5"}) << "LblEcartPetit";
        QTest::newRow("too large") << (first + QStringList{"600"}) << "LblEcartGrand";
        QTest::newRow("empty") << (first + QStringList{""}) << "LblEcartPetit";
        QTest::newRow("letters") << (first + QStringList{"abc"}) << "LblEcartPetit";
        QTest::newRow("second example") << (second + QStringList{"10"}) << "159,827214";
        QTest::newRow("computed minimum") << (second + QStringList{"1.48"}) << "2000,";
        QTest::newRow("computed maximum") << (second + QStringList{"296.74"}) << "5,";
        QTest::newRow("below computed minimum") << (second + QStringList{"1"}) << "LblEcartPetit";
        QTest::newRow("one step below the minimum") << (first + QStringList{"0.9999999999999999"}) << "LblEcartPetit";
        QTest::newRow("one step above the maximum") << (first + QStringList{"500.50000000000006"}) << "LblEcartGrand";
    }

    void step4_outcomes() {
        QFETCH(QStringList, road);
        QFETCH(QString, shown);
        Window w;
        runRoad(w, road, 4);
        const WorkingValues& v = w->values;
        COMPARE_EXACT(v.EcartChoisi, typedValue(road[4]));  // stored before it is validated
        if (shown.startsWith("Lbl")) {
            QCOMPARE(w.shown(), shownAfterAccepted(3, {ctlNamed(shown)}));
            QVERIFY(w.text(Ctl::TxtPoidsTheo2eme).isEmpty());
            COMPARE_EXACT(v.PdsEcht2, 0.0);
            COMPARE_EXACT(v.v, 0.0);
            return;
        }
        QCOMPARE(w.shown(), shownAfterAccepted(4));
        QCOMPARE(w.text(Ctl::TxtPoidsTheo2eme), shown);
        COMPARE_EXACT(v.PdsEcht2, ((v.NbTot1 * v.precis) * v.PdsTot) / ((v.PdsTot * v.EcartChoisi) - (v.NbTot1 * v.precis)));
        COMPARE_EXACT(v.v, v.PdsEcht2);
    }

    void step4_again_hidesLaterErrorsAndEmptiesSecondWeight() {
        Window w;
        runRoad(w, kRoad, 4);
        w.type(Ctl::TxtPoidsReel2eme, "1");
        w.click(Ctl::Cmd5);
        QVERIFY(w->isShown(Ctl::LblPoids2emeFaible));
        w.click(Ctl::Cmd4);
        QCOMPARE(w.shown(), shownAfterAccepted(4));
        QVERIFY(w.text(Ctl::TxtPoidsReel2eme).isEmpty());
        w.type(Ctl::TxtEcartChoisi, "0");
        w.click(Ctl::Cmd4);
        QCOMPARE(w.shown(), shownAfterAccepted(3, {Ctl::LblEcartPetit}));
        COMPARE_EXACT(w->values.EcartChoisi, 0.0);
    }

    void step5_outcomes_data() {
        QTest::addColumn<QString>("weight");
        QTest::addColumn<bool>("accepted");
        // With the road, the second sample's minimum is 52.63157894736842.
        QTest::newRow("road") << "53" << true;
        QTest::newRow("exact minimum") << "52.63157894736842" << true;
        QTest::newRow("just below minimum") << "52.6315789473684" << false;
        QTest::newRow("heavier than the whole") << "5000" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("comma") << "52,9" << false;
        QTest::newRow("one step below the minimum") << "52.63157894736841" << false;
    }

    void step5_outcomes() {
        QFETCH(QString, weight);
        QFETCH(bool, accepted);
        Window w;
        QStringList road = kRoad;
        road[5] = weight;
        runRoad(w, road, 5);
        QCOMPARE(w.shown(), accepted ? shownAfterAccepted(5) : shownAfterAccepted(4, {Ctl::LblPoids2emeFaible}));
        QVERIFY(w.text(Ctl::TxtNb2eme).isEmpty());
        COMPARE_EXACT(w->values.PdsReelEcht2, typedValue(weight));  // stored before it is validated
    }

    void step6_outcomes_data() {
        QTest::addColumn<QStringList>("road");
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("expected");  // "final count|uncertainty", empty when rejected
        // precision 0.1, total 1000, a deviation of 11 (minimum 47.6), then a second sample of 50.3
        const QStringList road{"0.1", "1000", "10", "50", "11", "50.3"};
        QTest::newRow("worked example") << road << "200" << "3976,1|8,3";
        QTest::newRow("whole final count") << QStringList{"0.1", "500", "10", "50", "10", "50"} << "100"
                                           << "1000,|2,2";
        QTest::newRow("one") << road << "1" << "19,9|0,";
        QTest::newRow("not whole") << road << "1.5" << "29,8|0,1";
        QTest::newRow("below one") << road << "0.99" << "";
        QTest::newRow("zero") << road << "0" << "";
        QTest::newRow("negative") << road << "-3" << "";
        QTest::newRow("empty") << road << "" << "";
        QTest::newRow("letters") << road << "abc" << "";
        QTest::newRow("one step below one") << road << "0.9999999999999999" << "";
    }

    void step6_outcomes() {
        QFETCH(QStringList, road);
        QFETCH(QString, count);
        QFETCH(QString, expected);
        Window w;
        road << count;
        runRoad(w, road, 6);
        const WorkingValues& v = w->values;
        COMPARE_EXACT(v.NbEcht2, typedValue(count));  // stored before it is validated
        if (expected.isEmpty()) {
            QCOMPARE(w.shown(), shownAfterAccepted(5, {Ctl::LblErrNbEcht2}));
            COMPARE_EXACT(v.NbTotFinal, 0.0);
            COMPARE_EXACT(v.Incert2, 0.0);
            return;
        }
        QCOMPARE(w.shown(), shownAfterAccepted(6));
        COMPARE_EXACT(v.NbTotFinal, (v.NbEcht2 * v.PdsTot) / v.PdsReelEcht2);
        COMPARE_EXACT(v.Incert2, ((v.precis * v.NbTotFinal) * (v.PdsReelEcht2 + v.PdsTot)) / (v.PdsReelEcht2 * v.PdsTot));
        QCOMPARE(w.text(Ctl::TxtNbTotalCalcule) + "|" + w.text(Ctl::TxtIncertitude2), expected);
        QVERIFY(w.text(Ctl::TxtNbVoulu).isEmpty());
    }

    void step7_outcomes_data() {
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<QString>("expected");  // "weight|uncertainty", or the error label's name
        // Final count 3976.1431411530816 from a second sample of 50.3 holding 200 pieces.
        QTest::newRow("worked example") << "500" << "125,75|1,4";
        QTest::newRow("one included") << "1" << "0,2515|0,4";
        QTest::newRow("close to the count") << "3976" << "999,964|8,3";
        QTest::newRow("not whole") << "2.5" << "0,62875|0,4";
        QTest::newRow("above shown, below stored") << "3976.14" << "999,99921|8,3";
        QTest::newRow("above stored") << "3976.15" << "LblNbVouluGrand";
        QTest::newRow("far above") << "4000" << "LblNbVouluGrand";
        QTest::newRow("below one") << "0.99" << "LblErrNbVouluInf1";
        QTest::newRow("zero") << "0" << "LblErrNbVouluInf1";
        QTest::newRow("negative") << "-5" << "LblErrNbVouluInf1";
        QTest::newRow("empty") << "" << "LblErrNbVouluInf1";
        QTest::newRow("letters") << "abc" << "LblErrNbVouluInf1";
        QTest::newRow("the stored count itself") << "3976.1431411530816" << "1000,|8,3";
        QTest::newRow("one step above the stored count") << "3976.143141153082" << "LblNbVouluGrand";
        QTest::newRow("one step below one") << "0.9999999999999999" << "LblErrNbVouluInf1";
    }

    void step7_outcomes() {
        QFETCH(QString, wanted);
        QFETCH(QString, expected);
        Window w;
        runRoad(w, {"0.1", "1000", "10", "50", "11", "50.3", "200"}, 6);
        // First an accepted lot, so that each outcome must replace it completely.
        w.type(Ctl::TxtNbVoulu, "10");
        w.click(Ctl::Cmd7);
        w.type(Ctl::TxtNbVoulu, wanted);
        w.click(Ctl::Cmd7);
        const WorkingValues& v = w->values;
        COMPARE_EXACT(v.NbVoulu, typedValue(wanted));  // stored before it is validated
        if (expected.startsWith("Lbl")) {
            QCOMPARE(w.shown(), shownAfterAccepted(6, {ctlNamed(expected)}));
            QVERIFY(w.text(Ctl::TxtPoidsNbVoulu).isEmpty());
            QVERIFY(w.text(Ctl::TxtIncertitude3).isEmpty());
            // The lot of 10 accepted before keeps its results.
            COMPARE_EXACT(v.PdsNbVoulu, (50.3 * 10.0) / 200.0);
            COMPARE_EXACT(v.Incert3, ((0.1 * 10.0) * (v.PdsNbVoulu + 50.3)) / (v.PdsNbVoulu * 50.3));
            return;
        }
        QCOMPARE(w.shown(), shownAfterAccepted(7));
        COMPARE_EXACT(v.PdsNbVoulu, (v.PdsReelEcht2 * v.NbVoulu) / v.NbEcht2);
        COMPARE_EXACT(v.Incert3, ((v.precis * v.NbVoulu) * (v.PdsNbVoulu + v.PdsReelEcht2)) / (v.PdsNbVoulu * v.PdsReelEcht2));
        QCOMPARE(w.text(Ctl::TxtPoidsNbVoulu) + "|" + w.text(Ctl::TxtIncertitude3), expected);
    }

    void outOfRange_stopsThePressAndTellsTheOperator_data() {
        QTest::addColumn<QStringList>("road");
        QTest::addColumn<int>("failingStep");
        const QStringList ok = kRoad;
        auto at = [&](int i, const QString& text) {
            QStringList r = ok;
            r[i] = text;
            return r;
        };
        QTest::newRow("typed precision") << at(0, "1e400") << 1;
        QTest::newRow("typed negative precision") << at(0, "-1e400") << 1;
        QTest::newRow("precision times ten") << QStringList{"1e308", "1e308"} << 1;
        QTest::newRow("typed total") << at(1, "1e400") << 1;
        // At the small end: ten times a subnormal precision is subnormal.
        QTest::newRow("subnormal minimum weight") << QStringList{"1e-320", "1000000"} << 1;
        // The uncertainty and the smallest deviation come out subnormal.
        QTest::newRow("subnormal uncertainty") << QStringList{"1e-300", "1e11", "1e10", "1"} << 3;
        QTest::newRow("typed first weight") << at(2, "1e400") << 2;
        QTest::newRow("typed first count") << at(3, "9e999") << 3;
        QTest::newRow("run of digits") << at(3, QString(400, '9')) << 3;
        // The estimate is finite but total x first weight, a denominator, overflows.
        QTest::newRow("overflowing denominator") << QStringList{"1", "1e200", "1e160", "1"} << 3;
        QTest::newRow("typed deviation") << at(4, "1e400") << 4;
        QTest::newRow("typed second weight") << at(5, "1e400") << 5;
        QTest::newRow("typed second count") << at(6, "1e400") << 6;
        QTest::newRow("final count overflows")
            << QStringList{"1", "1e150", "10", "1", "1e147", "100", "1e200"} << 6;
        QTest::newRow("final uncertainty denominator overflows")
            << QStringList{"1", "1e200", "1e100", "1", "1e98", "1e200", "1e100"} << 6;
        QTest::newRow("typed lot") << at(7, "1e400") << 7;
    }

    void outOfRange_stopsThePressAndTellsTheOperator() {
        QFETCH(QStringList, road);
        QFETCH(int, failingStep);
        Window w;
        if (failingStep > 1) runRoad(w, road, failingStep - 1);
        QCOMPARE(w.shown(), shownAfterAccepted(failingStep - 1));
        QVERIFY(!w.takeRangeAlarm());
        const WorkingValues before = w->values;

        if (failingStep == 1) {
            runRoad(w, road, 1);
        } else {
            w.type(kInputOf[failingStep - 1], road[failingStep]);
            w.click(kButtonOf[failingStep - 1]);
        }
        QVERIFY(w->rangeAlarm() && w->rangeAlarm()->isVisible());
        QVERIFY(w->rangeAlarm()->text().contains("limites du calcul"));
        QCOMPARE(QApplication::activeModalWidget(), w->rangeAlarm());
        // Nothing of the failed press is shown, the next step stays hidden.
        QCOMPARE(w.shown(), shownAfterAccepted(failingStep - 1));
        QVERIFY(w.takeRangeAlarm());
        // Results of the failed press are not stored.
        // Nothing computed by the failed press is stored, nor anything of another step.
        for (const Owned& o : kOwned)
            if (o.step != failingStep || o.result) COMPARE_EXACT(w->values.*o.value, before.*o.value);

        // The window goes on: the road can be run again.
        runRoad(w, kRoad, 7);
        QCOMPARE(w.shown(), shownAfterAccepted(7));
    }

    void quitButton_endsTheProgram() {
        Window w;
        runRoad(w, kRoad, 3);
        w.type(Ctl::TxtEcartChoisi, "0");
        w.click(Ctl::Cmd4);  // an error label is up
        QTimer::singleShot(0, [&] { w.click(Ctl::CmdQuitter); });
        QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!w->isVisible());
    }

    void closingTheWindow_endsTheProgram() {
        Window w;
        QTimer::singleShot(0, [&] { w->close(); });
        QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
        QCOMPARE(QApplication::exec(), 0);
    }
};

QTEST_MAIN(StepsTest)
#include "test_steps.moc"
