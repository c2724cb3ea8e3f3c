// The counting's rules without a window: each step's bounds at and beside
// its edges, its results against values worked out by hand, what each press
// hides and shows, and what it tells the operator.
#include <QTest>

#include <bitset>

#include "controls.h"
#include "counting.h"
#include "exact.h"

using namespace pesolane;
using namespace pesolane::test;

namespace {

// The worked example as the steps leave it after step 6 (265 pieces).
WorkingValues workedExample() {
    WorkingValues v;
    v.precis = 0.1, v.PdsTot = 1000, v.u = 1, v.PdsEcht1 = 10, v.NbEcht1 = 50, v.NbTot1 = 5000, v.Incert1 = 50.5;
    v.EcartMini = 1, v.EcartMaxi = 500.5, v.EcartChoisi = 10, v.PdsEcht2 = v.v = 52.63157894736842;
    v.PdsReelEcht2 = 53, v.NbEcht2 = 265, v.NbTotFinal = 5000, v.Incert2 = 9.933962264150944;
    return v;
}

// A second road: a coarser scale (0.5) over 2000, a first sample of 37 pieces in 25.
WorkingValues coarseRoad() {
    WorkingValues v;
    v.precis = 0.5, v.PdsTot = 2000, v.u = 5, v.PdsEcht1 = 25, v.NbEcht1 = 37, v.NbTot1 = 2960, v.Incert1 = 59.94;
    v.EcartMini = 1.48, v.EcartMaxi = 296.74;
    return v;
}

// A third: a second sample of 200 pieces weighing 50.3 out of 1000.
WorkingValues lotRoad() {
    WorkingValues v = workedExample();
    v.PdsReelEcht2 = 50.3, v.NbEcht2 = 200, v.NbTotFinal = 3976.1431411530816;
    return v;
}

StepOutcome press(int step, const WorkingValues& v, const std::string& typed, const std::string& total = "") {
    const CountingState s{v, {}};
    switch (step) {
    case 1: return step1(s, typed, total, ",");
    case 2: return step2(s, typed, ",");
    case 3: return step3(s, typed, ",");
    case 4: return step4(s, typed, ",");
    case 5: return step5(s, typed, ",");
    case 6: return step6(s, typed, ",");
    default: return step7(s, typed, ",");
    }
}

using Screen = std::bitset<kControlCount>;

// What the window shows after `o`, from `before`.
Screen after(const StepOutcome& o, Screen before) {
    for (Ctl c : o.hidden) before.reset(static_cast<std::size_t>(c));
    for (Ctl c : o.shown) before.set(static_cast<std::size_t>(c));
    return before;
}

Screen screenOf(std::initializer_list<Ctl> controls) {
    Screen s;
    for (Ctl c : controls) s.set(static_cast<std::size_t>(c));
    return s;
}

QString names(const Screen& s) {
    QStringList l;
    for (const ControlSpec& c : controlTable())
        if (s.test(static_cast<std::size_t>(c.id))) l << QString::fromUtf8(c.name.data(), qsizetype(c.name.size()));
    return l.join(' ');
}

std::string shown(const StepOutcome& o, Ctl box) {
    for (const Written& w : o.written)
        if (w.box == box) return w.text;
    return "(not written)";
}

using C = Ctl;
const Screen kAll = Screen().set();
// What no press of steps 1 to 7 ever hides: the first step's own five controls,
// the quit button and the two lines the window opens with.
const Screen kNeverHidden = screenOf({C::LblPrecision, C::LblPoidsTotal, C::TxtPrecision, C::TxtPoidsTotal, C::Cmd1,
                                      C::CmdQuitter, C::Line1, C::Line4});

}  // namespace

Q_DECLARE_METATYPE(WorkingValues)
Q_DECLARE_METATYPE(StepVerdict)
Q_DECLARE_METATYPE(Ctl)

class CountingTest : public QObject {
    Q_OBJECT

private slots:
    // Every bound, at and beside its edge: the verdict and the one label shown.
    void bounds_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<WorkingValues>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("total");
        QTest::addColumn<StepVerdict>("verdict");
        QTest::addColumn<Ctl>("label");  // the error label shown; Cmd1 for none
        const auto A = StepVerdict::Accepted, R = StepVerdict::Refused, O = StepVerdict::OutOfRange;
        const WorkingValues zero{}, ex = workedExample(), coarse = coarseRoad(), lot = lotRoad();
        WorkingValues small = zero;  // u = 5 out of 100
        small.precis = 0.5, small.u = 5, small.PdsTot = 100;
        WorkingValues v45 = ex;
        v45.v = 45.25;
        struct Row { const char* name; int step; WorkingValues v; const char* typed; const char* total; StepVerdict verdict; Ctl label; };
        const Row rows[] = {
            {"1 worked", 1, zero, "0.1", "1000", A, C::Cmd1},
            {"1 precision 0", 1, zero, "0", "1000", R, C::LblErrPrecisionPlus},
            {"1 precision negative", 1, zero, "-3", "1000", R, C::LblErrPrecisionPlus},
            {"1 precision empty", 1, zero, "", "1000", R, C::LblErrPrecisionPlus},
            {"1 precision comma", 1, zero, "0,5", "1000", R, C::LblErrPrecisionPlus},
            {"1 total at 10 x", 1, zero, "0.5", "5", A, C::Cmd1},
            {"1 total below", 1, zero, "0.5", "4.99", R, C::LblErrPrecision},
            {"1 total empty", 1, zero, "0.5", "", R, C::LblErrPrecision},
            {"1 precision huge", 1, zero, "1e400", "1", O, C::Cmd1},
            {"1 total huge", 1, zero, "0.1", "1e400", O, C::Cmd1},
            {"1 ten times overflows", 1, zero, "1e308", "1e308", O, C::Cmd1},
            {"2 at u", 2, small, "5", "", A, C::Cmd1},
            {"2 below u", 2, small, "4.99", "", R, C::LblPds1erFaible},
            {"2 at total", 2, small, "100", "", R, C::LblPds1erFort},
            {"2 below total", 2, small, "99.99", "", A, C::Cmd1},
            {"2 empty", 2, small, "", "", R, C::LblPds1erFaible},
            {"2 comma above u", 2, small, "5,9", "", A, C::Cmd1},
            {"2 comma below u", 2, small, "4,9", "", R, C::LblPds1erFaible},
            {"2 huge", 2, small, "1e400", "", O, C::Cmd1},
            {"3 one", 3, ex, "1", "", A, C::Cmd1},
            {"3 below one", 3, ex, "0.999", "", R, C::LblErrNbEcht1},
            {"3 empty", 3, ex, "", "", R, C::LblErrNbEcht1},
            {"3 negative", 3, ex, "-3", "", R, C::LblErrNbEcht1},
            {"3 huge", 3, ex, "1e400", "", O, C::Cmd1},
            {"3 estimate overflows", 3, ex, "1e306", "", O, C::Cmd1},
            {"4 at minimum", 4, ex, "1", "", A, C::Cmd1},
            {"4 below minimum", 4, ex, "0.99", "", R, C::LblEcartPetit},
            {"4 at maximum", 4, ex, "500.5", "", A, C::Cmd1},
            {"4 above maximum", 4, ex, "500.51", "", R, C::LblEcartGrand},
            {"4 empty", 4, ex, "", "", R, C::LblEcartPetit},
            {"4 coarse at minimum", 4, coarse, "1.48", "", A, C::Cmd1},
            {"4 coarse at maximum", 4, coarse, "296.74", "", A, C::Cmd1},
            {"4 coarse below", 4, coarse, "1", "", R, C::LblEcartPetit},
            {"4 huge", 4, ex, "1e400", "", O, C::Cmd1},
            {"5 at minimum", 5, v45, "45.25", "", A, C::Cmd1},
            {"5 below minimum", 5, v45, "45.2499", "", R, C::LblPoids2emeFaible},
            {"5 comma", 5, v45, "45,3", "", R, C::LblPoids2emeFaible},
            {"5 above total", 5, v45, "5000", "", A, C::Cmd1},
            {"5 empty", 5, v45, "", "", R, C::LblPoids2emeFaible},
            {"6 one", 6, ex, "1", "", A, C::Cmd1},
            {"6 below one", 6, ex, "0.99", "", R, C::LblErrNbEcht2},
            {"6 text", 6, ex, "abc", "", R, C::LblErrNbEcht2},
            {"6 huge", 6, ex, "1e400", "", O, C::Cmd1},
            {"7 one", 7, lot, "1", "", A, C::Cmd1},
            {"7 below one", 7, lot, "0.99", "", R, C::LblErrNbVouluInf1},
            {"7 empty", 7, lot, "", "", R, C::LblErrNbVouluInf1},
            {"7 above shown count", 7, lot, "3976.14", "", A, C::Cmd1},
            {"7 above stored count", 7, lot, "3976.15", "", R, C::LblNbVouluGrand},
            {"7 far above", 7, lot, "4000", "", R, C::LblNbVouluGrand},
            {"7 not whole", 7, lot, "2.5", "", A, C::Cmd1},
        };
        for (const Row& r : rows)
            QTest::newRow(r.name) << r.step << r.v << QString(r.typed) << QString(r.total) << r.verdict << r.label;
    }

    void bounds() {
        QFETCH(int, step);
        QFETCH(WorkingValues, before);
        QFETCH(QString, typed);
        QFETCH(QString, total);
        QFETCH(StepVerdict, verdict);
        QFETCH(Ctl, label);
        const StepOutcome o = press(step, before, typed.toStdString(), total.toStdString());
        QCOMPARE(int(o.verdict), int(verdict));
        // The error labels of this step and of every later one.
        const std::initializer_list<Ctl> labelsOf[7] = {
            {C::LblErrPrecisionPlus, C::LblErrPrecision}, {C::LblPds1erFaible, C::LblPds1erFort}, {C::LblErrNbEcht1},
            {C::LblEcartPetit, C::LblEcartGrand}, {C::LblPoids2emeFaible}, {C::LblErrNbEcht2},
            {C::LblErrNbVouluInf1, C::LblNbVouluGrand}};
        Screen errors;
        for (int i = step - 1; i < 7; ++i) errors |= screenOf(labelsOf[i]);
        const Screen up = after(o, kAll) & errors;
        const Screen expected = label == C::Cmd1 ? Screen() : screenOf({label});
        // From a screen with every label up, only the label of the outcome (or
        // none) stays of this step's and the later steps' labels.
        QVERIFY2(up == expected, qPrintable(names(up) + " / " + names(expected)));
        QCOMPARE(o.counting.has_value(), step == 6 && verdict == StepVerdict::Accepted);
        QCOMPARE(o.lot.has_value(), step == 7 && verdict == StepVerdict::Accepted);
    }

    // Results against values worked out by hand: stored bit for bit, shown
    // through their masks.
    void results_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<WorkingValues>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("total");
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<QStringList>("texts");
        WorkingValues half{}, tenth{};
        WorkingValues coarse{};
        coarse.precis = 0.5, coarse.PdsTot = 2000, coarse.PdsEcht1 = 25;
        WorkingValues five = workedExample();
        five.PdsTot = 500, five.PdsReelEcht2 = 50;
        QTest::newRow("1 worked: u") << 1 << tenth << "0.1" << "1000" << QList<double>{1} << QStringList{"1"};
        QTest::newRow("1 at the bound: u") << 1 << half << "0.5" << "5" << QList<double>{5} << QStringList{"5"};
        QTest::newRow("3 worked") << 3 << workedExample() << "50" << "" << QList<double>{5000, 50.5, 1, 500.5}
                                  << QStringList{"5000,", "50,5", "1,", "500,5"};
        QTest::newRow("3 coarse") << 3 << coarse << "37" << "" << QList<double>{2960, 59.94, 1.48, 296.74}
                                  << QStringList{"2960,", "59,9", "1,48", "296,74"};
        QTest::newRow("4 worked") << 4 << workedExample() << "10" << "" << QList<double>{52.63157894736842}
                                  << QStringList{"52,631579"};
        QTest::newRow("4 at minimum") << 4 << workedExample() << "1" << "" << QList<double>{1000} << QStringList{"1000,"};
        QTest::newRow("4 at maximum") << 4 << workedExample() << "500.5" << "" << QList<double>{1} << QStringList{"1,"};
        QTest::newRow("4 comma copied") << 4 << workedExample() << "500,5" << "" << QList<double>{1.001001001001001}
                                        << QStringList{"1,001001"};
        QTest::newRow("4 coarse") << 4 << coarseRoad() << "10" << "" << QList<double>{159.82721382289418}
                                  << QStringList{"159,827214"};
        QTest::newRow("4 coarse at minimum") << 4 << coarseRoad() << "1.48" << "" << QList<double>{2000} << QStringList{"2000,"};
        QTest::newRow("4 coarse at maximum") << 4 << coarseRoad() << "296.74" << "" << QList<double>{5} << QStringList{"5,"};
        QTest::newRow("6 worked") << 6 << workedExample() << "265" << "" << QList<double>{5000, 9.933962264150944}
                                  << QStringList{"5000,", "9,9"};
        QTest::newRow("6 miscounted") << 6 << workedExample() << "2655" << ""
                                      << QList<double>{50094.339622641506, 99.52705589177644}
                                      << QStringList{"50094,3", "99,5"};
        QTest::newRow("6 fifty-point-three") << 6 << lotRoad() << "200" << ""
                                             << QList<double>{3976.1431411530816, 8.302471453584655}
                                             << QStringList{"3976,1", "8,3"};
        QTest::newRow("6 whole") << 6 << five << "100" << "" << QList<double>{1000, 2.2} << QStringList{"1000,", "2,2"};
        QTest::newRow("7 five hundred") << 7 << lotRoad() << "500" << "" << QList<double>{125.75, 1.3916500994035788}
                                        << QStringList{"125,75", "1,4"};
        QTest::newRow("7 one") << 7 << lotRoad() << "1" << "" << QList<double>{0.2515, 0.39960238568588474}
                               << QStringList{"0,2515", "0,4"};
        QTest::newRow("7 nearly all") << 7 << lotRoad() << "3976" << ""
                                      << QList<double>{999.9639999999999, 8.302186878727635}
                                      << QStringList{"999,964", "8,3"};
    }

    void results() {
        QFETCH(int, step);
        QFETCH(WorkingValues, before);
        QFETCH(QString, typed);
        QFETCH(QString, total);
        QFETCH(QList<double>, values);
        QFETCH(QStringList, texts);
        const StepOutcome o = press(step, before, typed.toStdString(), total.toStdString());
        QCOMPARE(int(o.verdict), int(StepVerdict::Accepted));
        const WorkingValues& w = o.state.values;
        struct Out { double WorkingValues::*value; Ctl box; };
        const std::vector<Out> outs =
            step == 1   ? std::vector<Out>{{&WorkingValues::u, C::TxtPoidsTheo1er}}
            : step == 3 ? std::vector<Out>{{&WorkingValues::NbTot1, C::TxtNbTotalApproxi},
                                           {&WorkingValues::Incert1, C::TxtIncertitude1},
                                           {&WorkingValues::EcartMini, C::TxtEcartMini},
                                           {&WorkingValues::EcartMaxi, C::TxtEcartMaxi}}
            : step == 4 ? std::vector<Out>{{&WorkingValues::PdsEcht2, C::TxtPoidsTheo2eme}}
            : step == 6 ? std::vector<Out>{{&WorkingValues::NbTotFinal, C::TxtNbTotalCalcule},
                                           {&WorkingValues::Incert2, C::TxtIncertitude2}}
                        : std::vector<Out>{{&WorkingValues::PdsNbVoulu, C::TxtPoidsNbVoulu},
                                           {&WorkingValues::Incert3, C::TxtIncertitude3}};
        QCOMPARE(qsizetype(outs.size()), values.size());
        for (std::size_t i = 0; i < outs.size(); ++i) {
            COMPARE_EXACT(w.*outs[i].value, values[qsizetype(i)]);
            QCOMPARE(QString::fromStdString(shown(o, outs[i].box)), texts[qsizetype(i)]);
        }
        if (step == 4) COMPARE_EXACT(w.v, values[0]);
        if (step == 6) {  // handed to the record as shown, with the inputs as used
            QCOMPARE(QString::fromStdString(o.counting->NbTotFinal), texts[0]);
            QCOMPARE(QString::fromStdString(o.counting->Incert2), texts[1]);
            COMPARE_EXACT(o.counting->used.NbEcht2, typed.toDouble());
            COMPARE_EXACT(o.counting->used.PdsReelEcht2, before.PdsReelEcht2);
        }
        if (step == 7) QCOMPARE(QString::fromStdString(o.lot->PdsNbVoulu + " " + o.lot->Incert3), texts.join(' '));
    }

    // From a screen with everything up, what each press leaves: every later
    // step's control hidden (each list as the window has always had it), its own
    // next step shown on acceptance.
    void screens_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("emptied");
        QTest::addColumn<quint64>("left");  // the controls other than those never hidden that stay up
        const auto bits = [](std::initializer_list<Ctl> c) { return quint64(screenOf(c).to_ullong()); };
        // Steps 1 to 7 of the worked example; then refusals.
        QTest::newRow("1 accepted") << 1 << "0.1" << QStringList{"TxtPoidsReel1er", "TxtNb1er", "TxtEcartChoisi"}
            << bits({C::LblPoidsTheo1er, C::TxtPoidsTheo1er, C::LblPoidsReel1er, C::TxtPoidsReel1er, C::Cmd2, C::Line2});
        QTest::newRow("1 refused") << 1 << "0" << QStringList{"TxtPoidsReel1er", "TxtNb1er", "TxtEcartChoisi"}
            << bits({C::LblErrPrecisionPlus});
        // Step 2 hides neither step 1's result nor its own next step's line before reading.
        const std::initializer_list<Ctl> step1 = {C::LblPoidsTheo1er, C::TxtPoidsTheo1er, C::LblPoidsReel1er,
                                                  C::TxtPoidsReel1er, C::Cmd2, C::Line2, C::LblErrPrecision,
                                                  C::LblErrPrecisionPlus};
        Screen s2 = screenOf(step1);
        QTest::newRow("2 accepted") << 2 << "10" << QStringList{"TxtNb1er", "TxtEcartChoisi"}
            << quint64((s2 | screenOf({C::LblNb1er, C::TxtNb1er, C::Cmd3, C::Line3})).to_ullong());
        QTest::newRow("2 refused") << 2 << "0.5" << QStringList{"TxtNb1er", "TxtEcartChoisi"}
            << quint64((s2 | screenOf({C::LblPds1erFaible})).to_ullong());
        const Screen s3 = s2 | screenOf({C::LblNb1er, C::TxtNb1er, C::Cmd3, C::Line3, C::LblPds1erFaible,
                                         C::Line5, C::LblNbTotalapproxi, C::TxtNbTotalApproxi, C::LblPlusMoins1,
                                         C::TxtIncertitude1, C::LblEcartMini, C::TxtEcartMini, C::LblEcartMaxi,
                                         C::TxtEcartMaxi, C::LblEcartChoisi, C::TxtEcartChoisi, C::Cmd4});
        QTest::newRow("3 accepted") << 3 << "50" << QStringList{"TxtEcartChoisi"} << quint64(s3.to_ullong());
        Screen s3r = s3 | screenOf({C::LblErrNbEcht1});
        for (Ctl c : {C::Line5, C::LblNbTotalapproxi, C::TxtNbTotalApproxi, C::LblPlusMoins1, C::TxtIncertitude1,
                      C::LblEcartMini, C::TxtEcartMini, C::LblEcartMaxi, C::TxtEcartMaxi, C::LblEcartChoisi,
                      C::TxtEcartChoisi, C::Cmd4})
            s3r.reset(std::size_t(c));
        QTest::newRow("3 refused") << 3 << "0" << QStringList{"TxtEcartChoisi"} << quint64(s3r.to_ullong());
        // Step 4 leaves step 3's error label as it is.
        const Screen s4 = s3 | screenOf({C::LblErrNbEcht1, C::LblPoidsTheo2eme, C::TxtPoidsTheo2eme,
                                         C::LblPoidsReel2eme, C::TxtPoidsReel2eme, C::Cmd5, C::Line6});
        QTest::newRow("4 accepted") << 4 << "10" << QStringList{"TxtPoidsReel2eme", "TxtPoidsTheo2eme"}
                                    << quint64(s4.to_ullong());
        QTest::newRow("4 refused") << 4 << "600" << QStringList{"TxtPoidsReel2eme", "TxtPoidsTheo2eme"}
                                   << quint64((s3 | screenOf({C::LblErrNbEcht1, C::LblEcartGrand})).to_ullong());
        const Screen s5 = s4 | screenOf({C::LblEcartPetit, C::LblEcartGrand, C::LblNbReel2eme, C::TxtNb2eme, C::Cmd6,
                                         C::Line7});
        QTest::newRow("5 accepted") << 5 << "53" << QStringList{"TxtNb2eme"} << quint64(s5.to_ullong());
        // Step 6 does not hide Line7 nor step 5's error label; it does hide step 2's LblPds1erFort.
        Screen s6 = s5 | screenOf({C::LblPoids2emeFaible, C::LblNbTotalCalcule, C::TxtNbTotalCalcule,
                                   C::LblPlusMoins2, C::TxtIncertitude2, C::LblNbVoulu, C::TxtNbVoulu, C::Cmd7});
        QTest::newRow("6 accepted") << 6 << "265" << QStringList{"TxtNbVoulu"} << quint64(s6.to_ullong());
        // Step 7 hides no control of steps 1 to 6.
        const Screen s7 = kAll & ~kNeverHidden;
        QTest::newRow("7 accepted") << 7 << "500" << QStringList{}
            << quint64((s7 & ~screenOf({C::LblErrNbVouluInf1, C::LblNbVouluGrand})).to_ullong());
        QTest::newRow("7 refused") << 7 << "0" << QStringList{"TxtPoidsNbVoulu", "TxtIncertitude3"}
            << quint64((s7 & ~screenOf({C::LblPoidsNbVoulu, C::LblEcartNbVoulu, C::LblPlusMoins3, C::TxtPoidsNbVoulu,
                                        C::TxtIncertitude3, C::LblNbVouluGrand})).to_ullong());
    }

    void screens() {
        QFETCH(int, step);
        QFETCH(QString, typed);
        QFETCH(QStringList, emptied);
        QFETCH(quint64, left);
        WorkingValues v = step >= 6 ? lotRoad() : workedExample();
        v.NbTotFinal = 5000;
        const StepOutcome o = press(step, v, typed.toStdString(), "1000");
        Screen expected = kNeverHidden | Screen(left);
        const Screen got = after(o, kAll);
        QVERIFY2(got == expected, qPrintable(names(got ^ expected)));
        QStringList gotEmptied;
        for (Ctl c : o.emptied) gotEmptied << QString::fromUtf8(controlOf(c).name.data(), qsizetype(controlOf(c).name.size()));
        gotEmptied.sort();
        emptied.sort();
        QCOMPARE(gotEmptied, emptied);
    }

    // What is told of a typed text read other than as typed.
    void readOtherThanTyped_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("told");
        QTest::newRow("decimal comma") << "10,7" << "« 10,7 » est lu 10 : le séparateur décimal est le point (10.7).";
        QTest::newRow("comma, more digits") << " 5,925 " << "« 5,925 » est lu 5 : le séparateur décimal est le point (5.925).";
        QTest::newRow("letter O") << "1O" << "« 1O » est lu 1.";
        QTest::newRow("unit") << "12 g" << "« 12 g » est lu 12.";
        QTest::newRow("pieces") << "2655 pièces" << "« 2655 pièces » est lu 2655.";
        QTest::newRow("comma after a point") << "2.5,3" << "« 2.5,3 » est lu 2.5.";
        QTest::newRow("comma, no digit") << "10," << "« 10, » est lu 10.";
        QTest::newRow("long paste") << "7 " + QString(60, 'x') << "« 7 " + QString(38, 'x') + "… » est lu 7.";
        QTest::newRow("plain") << "10.7" << "";
        QTest::newRow("blanks around and inside") << "  1 000 " << "";
        QTest::newRow("exponent") << "1e3" << "";
    }

    void readOtherThanTyped() {
        QFETCH(QString, typed);
        QFETCH(QString, told);
        QCOMPARE(QString::fromStdString(pesolane::readOtherThanTyped(typed.toStdString())), told);
    }

    // The final count against the first estimate: further apart than both
    // uncertainties together, and only then, the operator is told.
    void estimates_data() {
        QTest::addColumn<double>("NbTot1");
        QTest::addColumn<double>("Incert1");
        QTest::addColumn<double>("NbTotFinal");
        QTest::addColumn<double>("Incert2");
        QTest::addColumn<QString>("told");
        const QString tail = " s'écartent plus que leurs incertitudes ne le permettent : recomptez les pièces des "
                             "échantillons, ou vérifiez leurs poids.";
        QTest::newRow("worked example") << 5000.0 << 50.5 << 5000.0 << 9.933962264150944 << "";
        QTest::newRow("second sample miscounted") << 5000.0 << 50.5 << 50094.339622641506 << 99.52705589177644
            << "Le nombre final (50094,3) et la première estimation (5000, ± 50,5)" + tail;
        // 51 pieces counted for 50 in the first sample: 5100 ± 51.51 against 5000 ± 9.9.
        QTest::newRow("one piece too many") << 5100.0 << 51.51 << 5000.0 << 9.933962264150944
            << "Le nombre final (5000,) et la première estimation (5100, ± 51,5)" + tail;
        QTest::newRow("exactly both apart") << 100.0 << 5.0 << 110.0 << 5.0 << "";
        QTest::newRow("just beyond, above") << 100.0 << 5.0 << 110.00000000000003 << 5.0
            << "Le nombre final (110,) et la première estimation (100, ± 5,)" + tail;
        QTest::newRow("just beyond, below") << 100.0 << 5.0 << 89.999999999999986 << 5.0
            << "Le nombre final (90,) et la première estimation (100, ± 5,)" + tail;
    }

    void estimates() {
        QFETCH(double, NbTot1);
        QFETCH(double, Incert1);
        QFETCH(double, NbTotFinal);
        QFETCH(double, Incert2);
        QFETCH(QString, told);
        WorkingValues v;
        v.NbTot1 = NbTot1, v.Incert1 = Incert1, v.NbTotFinal = NbTotFinal, v.Incert2 = Incert2;
        QCOMPARE(QString::fromStdString(estimatesDisagree(v, ",")), told);
    }

    // Through the whole road: what was told of an accepted input goes with the
    // counting to the record, until its step or an earlier one runs again.
    void told_goesWithTheCounting() {
        const char* road[] = {"0.1 g", "1000", "10,7", "50", "10", "53", "2655"};
        CountingState s;
        s = step1(s, road[0], road[1], ",").state;
        StepOutcome o = step2(s, road[2], ",");
        QCOMPARE(o.told, std::vector<std::string>{"« 10,7 » est lu 10 : le séparateur décimal est le point (10.7)."});
        s = o.state;
        for (int step = 3; step <= 5; ++step) s = (step == 3 ? step3 : step == 4 ? step4 : step5)(s, road[step], ",").state;
        o = step6(s, road[6], ",");
        QCOMPARE(int(o.verdict), int(StepVerdict::Accepted));
        QCOMPARE(o.counting->warnings.size(), std::size_t(3));
        QCOMPARE(o.counting->warnings[0], "« 0.1 g » est lu 0.1.");
        QCOMPARE(o.counting->warnings[1], "« 10,7 » est lu 10 : le séparateur décimal est le point (10.7).");
        QVERIFY(o.counting->warnings[2].starts_with("Le nombre final (50094,3)"));
        // The first sample weighed again, as typed: nothing left to tell.
        s = step2(o.state, "10", ",").state;
        for (int step = 3; step <= 5; ++step) s = (step == 3 ? step3 : step == 4 ? step4 : step5)(s, road[step], ",").state;
        o = step6(s, "265", ",");
        QVERIFY(o.told.empty());
        QCOMPARE(o.counting->warnings, std::vector<std::string>{"« 0.1 g » est lu 0.1."});
    }
};

QTEST_APPLESS_MAIN(CountingTest)
#include "test_counting.moc"
