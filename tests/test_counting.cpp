// The counting's rules without a window: each step's bounds at and beside
// its edges, its results against values worked out by hand, what each press
// hides, shows and empties, and what it tells the operator.
#include <QTest>

#include <bitset>

#include "controls.h"
#include "counting.h"
#include "exact.h"

using namespace pesolane;
using namespace pesolane::test;
using C = Ctl;
using Screen = std::bitset<kControlCount>;

namespace {

// The worked example as the steps leave it after step 6 (265 pieces); a coarser
// scale (0.5 over 2000, 37 pieces in 25); a second sample of 200 pieces in 50.3.
WorkingValues road(char which) {
    WorkingValues v{0.1, 1000, 1, 10, 50, 5000, 50.5, 1, 500.5, 10, 52.63157894736842, 52.63157894736842, 53, 265,
                    5000, 9.933962264150944};
    if (which == 'c') v = {0.5, 2000, 5, 25, 37, 2960, 59.94, 1.48, 296.74};
    if (which == 'l') v.PdsReelEcht2 = 50.3, v.NbEcht2 = 200, v.NbTotFinal = 3976.1431411530816;
    if (which == 's') v = {0.5, 100, 5};                                      // u = 5 out of 100
    if (which == 'v') v.v = 45.25;
    if (which == 'h') v.PdsTot = 500, v.PdsReelEcht2 = 50;
    if (which == 'z') v = {};
    return v;
}

StepOutcome press(int step, char before, const std::string& typed, const std::string& total = "1000") {
    const CountingState s{road(before), {}};
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

Screen screenOf(std::initializer_list<Ctl> controls) {
    Screen s;
    for (Ctl c : controls) s.set(static_cast<std::size_t>(c));
    return s;
}

// What the window shows after `o`, from a screen with everything up.
Screen afterAllUp(const StepOutcome& o) {
    Screen s = Screen().set();
    for (Ctl c : o.hidden) s.reset(static_cast<std::size_t>(c));
    for (Ctl c : o.shown) s.set(static_cast<std::size_t>(c));
    return s;
}

QString nameOf(Ctl c) { return QString::fromUtf8(controlOf(c).name.data(), qsizetype(controlOf(c).name.size())); }

QString names(const Screen& s) {
    QStringList l;
    for (const ControlSpec& c : controlTable())
        if (s.test(static_cast<std::size_t>(c.id))) l << nameOf(c.id);
    return l.join(' ');
}

std::string shown(const StepOutcome& o, Ctl box) {
    for (const Written& w : o.written)
        if (w.box == box) return w.text;
    return "(not written)";
}

const QString kDisagree = " s'écartent plus que leurs incertitudes ne le permettent : recomptez les pièces des "
                          "échantillons, ou vérifiez leurs poids.";

}  // namespace

class CountingTest : public QObject {
    Q_OBJECT

private slots:
    // Every bound at and beside its edge: the verdict, and of this step's and
    // the later steps' error labels (all up before the press) only the one of
    // the outcome left up. 'A'ccepted, 'R'efused, 'O'ut of range.
    void bounds_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<char>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("total");
        QTest::addColumn<char>("verdict");
        QTest::addColumn<QString>("label");
        struct Row { int step; char before; const char *typed, *total; char verdict; const char* label; };
        const Row rows[] = {
            {1, 'z', "0.1", "1000", 'A', ""}, {1, 'z', "0", "1", 'R', "LblErrPrecisionPlus"},
            {1, 'z', "-3", "1", 'R', "LblErrPrecisionPlus"}, {1, 'z', "", "1", 'R', "LblErrPrecisionPlus"},
            {1, 'z', "0,5", "1000", 'R', "LblErrPrecisionPlus"}, {1, 'z', "0.5", "5", 'A', ""},
            {1, 'z', "0.5", "4.99", 'R', "LblErrPrecision"}, {1, 'z', "0.5", "", 'R', "LblErrPrecision"},
            {1, 'z', "1e400", "1", 'O', ""}, {1, 'z', "0.1", "1e400", 'O', ""}, {1, 'z', "1e308", "1e308", 'O', ""},
            {2, 's', "5", "", 'A', ""}, {2, 's', "4.99", "", 'R', "LblPds1erFaible"},
            {2, 's', "100", "", 'R', "LblPds1erFort"}, {2, 's', "99.99", "", 'A', ""},
            {2, 's', "", "", 'R', "LblPds1erFaible"}, {2, 's', "5,9", "", 'A', ""},
            {2, 's', "4,9", "", 'R', "LblPds1erFaible"}, {2, 's', "1e400", "", 'O', ""},
            {3, 'e', "1", "", 'A', ""}, {3, 'e', "0.999", "", 'R', "LblErrNbEcht1"},
            {3, 'e', "", "", 'R', "LblErrNbEcht1"}, {3, 'e', "-3", "", 'R', "LblErrNbEcht1"},
            {3, 'e', "1e400", "", 'O', ""}, {3, 'e', "1e306", "", 'O', ""},
            {4, 'e', "1", "", 'A', ""}, {4, 'e', "0.99", "", 'R', "LblEcartPetit"}, {4, 'e', "500.5", "", 'A', ""},
            {4, 'e', "500.51", "", 'R', "LblEcartGrand"}, {4, 'e', "", "", 'R', "LblEcartPetit"},
            {4, 'c', "1.48", "", 'A', ""}, {4, 'c', "296.74", "", 'A', ""}, {4, 'c', "1", "", 'R', "LblEcartPetit"},
            {4, 'e', "1e400", "", 'O', ""},
            {5, 'v', "45.25", "", 'A', ""}, {5, 'v', "45.2499", "", 'R', "LblPoids2emeFaible"},
            {5, 'v', "45,3", "", 'R', "LblPoids2emeFaible"}, {5, 'v', "5000", "", 'A', ""},
            {5, 'v', "", "", 'R', "LblPoids2emeFaible"},
            {6, 'e', "1", "", 'A', ""}, {6, 'e', "0.99", "", 'R', "LblErrNbEcht2"},
            {6, 'e', "abc", "", 'R', "LblErrNbEcht2"}, {6, 'e', "1e400", "", 'O', ""},
            {7, 'l', "1", "", 'A', ""}, {7, 'l', "0.99", "", 'R', "LblErrNbVouluInf1"},
            {7, 'l', "", "", 'R', "LblErrNbVouluInf1"}, {7, 'l', "3976.14", "", 'A', ""},
            {7, 'l', "3976.15", "", 'R', "LblNbVouluGrand"}, {7, 'l', "4000", "", 'R', "LblNbVouluGrand"},
            {7, 'l', "2.5", "", 'A', ""},
        };
        for (const Row& r : rows)
            QTest::addRow("%d '%s' '%s'", r.step, r.typed, r.total)
                << r.step << r.before << QString(r.typed) << QString(r.total) << r.verdict << QString(r.label);
    }

    void bounds() {
        QFETCH(int, step);
        QFETCH(char, before);
        QFETCH(QString, typed);
        QFETCH(QString, total);
        QFETCH(char, verdict);
        QFETCH(QString, label);
        const StepOutcome o = press(step, before, typed.toStdString(), total.toStdString());
        QCOMPARE("ARO"[int(o.verdict)], verdict);
        const std::initializer_list<Ctl> labelsOf[7] = {
            {C::LblErrPrecisionPlus, C::LblErrPrecision}, {C::LblPds1erFaible, C::LblPds1erFort}, {C::LblErrNbEcht1},
            {C::LblEcartPetit, C::LblEcartGrand}, {C::LblPoids2emeFaible}, {C::LblErrNbEcht2},
            {C::LblErrNbVouluInf1, C::LblNbVouluGrand}};
        Screen labels;
        for (int i = step - 1; i < 7; ++i) labels |= screenOf(labelsOf[i]);
        QCOMPARE(names(afterAllUp(o) & labels), label);
        QCOMPARE(o.counting.has_value(), step == 6 && verdict == 'A');
        QCOMPARE(o.lot.has_value(), step == 7 && verdict == 'A');
    }

    // Results against values worked out by hand, stored bit for bit and shown
    // through their masks: from step 1 the minimum weight, from step 3 the
    // estimate, its uncertainty and the two bounds, from 4 the second sample's
    // minimum, from 6 the final count and from 7 the lot, each with its uncertainty.
    void results_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<char>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("total");
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<QStringList>("texts");
        const auto row = [](int step, char before, const char* typed, const char* total, QList<double> values,
                            QStringList texts) {
            QTest::addRow("%d '%s' after %c", step, typed, before) << step << before << typed << total << values << texts;
        };
        row(1, 'z', "0.1", "1000", {1}, {"1"});
        row(1, 'z', "0.5", "5", {5}, {"5"});
        row(3, 'e', "50", "", {5000, 50.5, 1, 500.5}, {"5000,", "50,5", "1,", "500,5"});
        row(3, 'c', "37", "", {2960, 59.94, 1.48, 296.74}, {"2960,", "59,9", "1,48", "296,74"});
        row(4, 'e', "10", "", {52.63157894736842}, {"52,631579"});
        row(4, 'e', "1", "", {1000}, {"1000,"});
        row(4, 'e', "500.5", "", {1}, {"1,"});
        row(4, 'e', "500,5", "", {1.001001001001001}, {"1,001001"});
        row(4, 'c', "10", "", {159.82721382289418}, {"159,827214"});
        row(4, 'c', "1.48", "", {2000}, {"2000,"});
        row(4, 'c', "296.74", "", {5}, {"5,"});
        row(6, 'e', "265", "", {5000, 9.933962264150944}, {"5000,", "9,9"});
        row(6, 'e', "2655", "", {50094.339622641506, 99.52705589177644}, {"50094,3", "99,5"});
        row(6, 'l', "200", "", {3976.1431411530816, 8.302471453584655}, {"3976,1", "8,3"});
        row(6, 'h', "100", "", {1000, 2.2}, {"1000,", "2,2"});
        row(7, 'l', "500", "", {125.75, 1.3916500994035788}, {"125,75", "1,4"});
        row(7, 'l', "1", "", {0.2515, 0.39960238568588474}, {"0,2515", "0,4"});
        row(7, 'l', "3976", "", {999.9639999999999, 8.302186878727635}, {"999,964", "8,3"});
    }

    void results() {
        QFETCH(int, step);
        QFETCH(char, before);
        QFETCH(QString, typed);
        QFETCH(QString, total);
        QFETCH(QList<double>, values);
        QFETCH(QStringList, texts);
        const StepOutcome o = press(step, before, typed.toStdString(), total.toStdString());
        QCOMPARE(int(o.verdict), int(StepVerdict::Accepted));
        using V = WorkingValues;
        struct Out { double V::*value; Ctl box; };
        const std::vector<Out> outs[7] = {
            {{&V::u, C::TxtPoidsTheo1er}}, {}, {{&V::NbTot1, C::TxtNbTotalApproxi}, {&V::Incert1, C::TxtIncertitude1},
            {&V::EcartMini, C::TxtEcartMini}, {&V::EcartMaxi, C::TxtEcartMaxi}}, {{&V::PdsEcht2, C::TxtPoidsTheo2eme},
            {&V::v, C::TxtPoidsTheo2eme}}, {}, {{&V::NbTotFinal, C::TxtNbTotalCalcule}, {&V::Incert2, C::TxtIncertitude2}},
            {{&V::PdsNbVoulu, C::TxtPoidsNbVoulu}, {&V::Incert3, C::TxtIncertitude3}}};
        for (std::size_t i = 0; i < outs[step - 1].size(); ++i) {
            const qsizetype k = std::min(qsizetype(i), values.size() - 1);  // step 4: v is the minimum again
            COMPARE_EXACT(o.state.values.*outs[step - 1][i].value, values[k]);
            QCOMPARE(QString::fromStdString(shown(o, outs[step - 1][i].box)), texts[k]);
        }
        if (step == 6) {  // handed to the record as shown, with the inputs as used
            QCOMPARE(QString::fromStdString(o.counting->NbTotFinal + " " + o.counting->Incert2), texts.join(' '));
            COMPARE_EXACT(o.counting->used.NbEcht2, typed.toDouble());
            COMPARE_EXACT(o.counting->used.PdsReelEcht2, road(before).PdsReelEcht2);
        }
        if (step == 7) QCOMPARE(QString::fromStdString(o.lot->PdsNbVoulu + " " + o.lot->Incert3), texts.join(' '));
    }

    // From a screen with everything up, what each press leaves up besides the
    // controls no press hides, and the boxes it empties: every list as the
    // window has always had it, quirks included (step 4 leaves step 3's label,
    // step 6 leaves Line7 and step 5's label but hides step 2's LblPds1erFort).
    void screens_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("emptied");
        QTest::addColumn<QString>("left");
        const QString s1 = "LblPoidsTheo1er TxtPoidsTheo1er LblErrPrecision LblPoidsReel1er TxtPoidsReel1er Cmd2 "
                           "LblErrPrecisionPlus Line2";
        const QString s2 = "LblNb1er TxtNb1er Cmd3 Line3";
        const QString s3 = "LblNbTotalapproxi TxtNbTotalApproxi LblPlusMoins1 TxtIncertitude1 LblEcartMini TxtEcartMini "
                           "LblEcartMaxi TxtEcartMaxi LblEcartChoisi TxtEcartChoisi Cmd4";
        const QString s4 = "LblPoidsTheo2eme TxtPoidsTheo2eme LblPoidsReel2eme TxtPoidsReel2eme Cmd5";
        const QString s6 = "LblNbTotalCalcule TxtNbTotalCalcule LblPlusMoins2 TxtIncertitude2 LblNbVoulu TxtNbVoulu Cmd7";
        const auto row = [](int step, const char* typed, const char* emptied, const QString& left) {
            QTest::addRow("%d '%s'", step, typed) << step << typed << emptied << left;
        };
        row(1, "0.1", "TxtPoidsReel1er TxtNb1er TxtEcartChoisi", "LblPoidsTheo1er TxtPoidsTheo1er LblPoidsReel1er "
                                                                  "TxtPoidsReel1er Cmd2 Line2");
        row(1, "0", "TxtPoidsReel1er TxtNb1er TxtEcartChoisi", "LblErrPrecisionPlus");
        row(2, "10", "TxtNb1er TxtEcartChoisi", s1 + " " + s2);
        row(2, "0.5", "TxtNb1er TxtEcartChoisi", s1 + " LblPds1erFaible");
        row(3, "50", "TxtEcartChoisi", s1 + " LblPds1erFaible " + s2 + " " + s3 + " Line5");
        row(3, "0", "TxtEcartChoisi", s1 + " LblPds1erFaible " + s2 + " LblErrNbEcht1");
        row(4, "10", "TxtPoidsTheo2eme TxtPoidsReel2eme", s1 + " LblPds1erFaible " + s2 + " " + s3 + " " + s4 +
                                                              " LblErrNbEcht1 Line5 Line6");
        row(4, "600", "TxtPoidsTheo2eme TxtPoidsReel2eme", s1 + " LblPds1erFaible " + s2 + " " + s3 +
                                                               " LblEcartGrand LblErrNbEcht1 Line5");
        row(5, "53", "TxtNb2eme", s1 + " LblPds1erFaible " + s2 + " " + s3 + " " + s4 + " LblEcartPetit LblEcartGrand "
                                      "LblNbReel2eme TxtNb2eme Cmd6 LblErrNbEcht1 Line5 Line6 Line7");
        row(6, "265", "TxtNbVoulu", s1 + " LblPds1erFaible " + s2 + " " + s3 + " " + s4 + " LblEcartPetit LblEcartGrand "
                                    "LblPoids2emeFaible LblNbReel2eme TxtNb2eme Cmd6 " + s6 +
                                    " LblErrNbEcht1 Line5 Line6 Line7");
        row(7, "500", "", "all but LblNbVouluGrand LblErrNbVouluInf1");
        row(7, "0", "TxtPoidsNbVoulu TxtIncertitude3", "all but LblNbVouluGrand LblPoidsNbVoulu TxtPoidsNbVoulu "
                                                       "TxtIncertitude3 LblPlusMoins3 LblEcartNbVoulu");
    }

    void screens() {
        QFETCH(int, step);
        QFETCH(QString, typed);
        QFETCH(QString, emptied);
        QFETCH(QString, left);
        const StepOutcome o = press(step, 'e', typed.toStdString());
        const Screen never = screenOf({C::LblPrecision, C::LblPoidsTotal, C::TxtPrecision, C::TxtPoidsTotal, C::Cmd1,
                                       C::CmdQuitter, C::Line1, C::Line4});
        Screen expected = never;
        const bool allBut = left.startsWith("all but ");
        if (allBut) expected = Screen().set();
        for (const QString& n : left.mid(allBut ? 8 : 0).split(' ', Qt::SkipEmptyParts))
            for (const ControlSpec& c : controlTable())
                if (nameOf(c.id) == n) expected.flip(static_cast<std::size_t>(c.id));
        QCOMPARE(names(afterAllUp(o)), names(expected));
        QStringList got;
        for (Ctl c : o.emptied) got << nameOf(c);
        QStringList want = emptied.split(' ', Qt::SkipEmptyParts);
        got.sort(), want.sort();
        QCOMPARE(got, want);
    }

    // What is told of a text read other than as typed, and of a final count
    // and a first estimate further apart than both uncertainties (and only then).
    void told_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QList<double>>("estimates");  // NbTot1, Incert1, NbTotFinal, Incert2
        QTest::addColumn<QString>("told");
        const QList<double> agree{5000, 50.5, 5000, 9.933962264150944};
        QTest::newRow("comma") << "10,7" << agree << "« 10,7 » est lu 10 : le séparateur décimal est le point (10.7).";
        QTest::newRow("comma, more digits") << " 5,925 " << agree
                                            << "« 5,925 » est lu 5 : le séparateur décimal est le point (5.925).";
        QTest::newRow("letter O") << "1O" << agree << "« 1O » est lu 1.";
        QTest::newRow("unit") << "2655 pièces" << agree << "« 2655 pièces » est lu 2655.";
        QTest::newRow("comma after a point") << "2.5,3" << agree << "« 2.5,3 » est lu 2.5.";
        QTest::newRow("comma, no digit") << "10," << agree << "« 10, » est lu 10.";
        QTest::newRow("long paste") << "7 " + QString(60, 'x') << agree << "« 7 " + QString(38, 'x') + "… » est lu 7.";
        QTest::newRow("plain") << "10.7" << agree << "";
        QTest::newRow("blanks around, inside") << "  1 000 " << agree << "";
        QTest::newRow("exponent") << "1e3" << agree << "";
        QTest::newRow("second sample miscounted") << "" << QList<double>{5000, 50.5, 50094.339622641506, 99.52705589177644}
            << "Le nombre final (50094,3) et la première estimation (5000, ± 50,5)" + kDisagree;
        // 51 pieces counted for 50 in the first sample: 5100 ± 51.51 against 5000 ± 9.9.
        QTest::newRow("one piece too many") << "" << QList<double>{5100, 51.51, 5000, 9.933962264150944}
            << "Le nombre final (5000,) et la première estimation (5100, ± 51,5)" + kDisagree;
        QTest::newRow("exactly both apart") << "" << QList<double>{100, 5, 110, 5} << "";
        QTest::newRow("just beyond, above") << "" << QList<double>{100, 5, 110.00000000000003, 5}
            << "Le nombre final (110,) et la première estimation (100, ± 5,)" + kDisagree;
        QTest::newRow("just beyond, below") << "" << QList<double>{100, 5, 89.999999999999986, 5}
            << "Le nombre final (90,) et la première estimation (100, ± 5,)" + kDisagree;
    }

    void told() {
        QFETCH(QString, typed);
        QFETCH(QList<double>, estimates);
        QFETCH(QString, told);
        WorkingValues v;
        v.NbTot1 = estimates[0], v.Incert1 = estimates[1], v.NbTotFinal = estimates[2], v.Incert2 = estimates[3];
        const std::string got = readOtherThanTyped(typed.toStdString()) + estimatesDisagree(v, ",");
        QCOMPARE(QString::fromStdString(got), told);
    }

    // Through the whole road: what was told of each accepted input goes with the
    // counting to the record, until its step or an earlier one runs again.
    void told_goesWithTheCounting() {
        const auto upTo6 = [](CountingState s, const char* weight1, const char* count2) {
            s = step2(s, weight1, ",").state;
            s = step5(step4(step3(s, "50", ",").state, "10", ",").state, "53", ",").state;
            return step6(s, count2, ",");
        };
        const CountingState s = step1({}, "0.1 g", "1000", ",").state;
        StepOutcome o = upTo6(s, "10,7", "2655");
        QCOMPARE(o.counting->warnings,
                 (std::vector<std::string>{"« 0.1 g » est lu 0.1.",
                                           "« 10,7 » est lu 10 : le séparateur décimal est le point (10.7).",
                                           "Le nombre final (50094,3) et la première estimation (5000, ± 50,5)" +
                                               kDisagree.toStdString()}));
        o = upTo6(o.state, "10", "265");  // the first sample weighed again, as typed
        QVERIFY(o.told.empty());
        QCOMPARE(o.counting->warnings, std::vector<std::string>{"« 0.1 g » est lu 0.1."});
    }
};

QTEST_APPLESS_MAIN(CountingTest)
#include "test_counting.moc"
