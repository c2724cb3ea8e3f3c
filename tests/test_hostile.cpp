// Whatever the keyboard or the clipboard gives, in every input box: the
// window stays, reads what the conversions define or refuses a value beyond
// the range, and never shows anything but a number through its mask.
#include <QApplication>
#include <QRegularExpression>

#include "application.h"
#include "window_fixture.h"

using namespace pesolane;
using namespace pesolane::test;

namespace {

// An input box, the step that reads it, and where its number is stored.
struct Input {
    Ctl box;
    int step;
    double WorkingValues::*stored;
};

const Input kInputs[] = {
    {Ctl::TxtPrecision, 1, &WorkingValues::precis},        {Ctl::TxtPoidsTotal, 1, &WorkingValues::PdsTot},
    {Ctl::TxtPoidsReel1er, 2, &WorkingValues::PdsEcht1},   {Ctl::TxtNb1er, 3, &WorkingValues::NbEcht1},
    {Ctl::TxtEcartChoisi, 4, &WorkingValues::EcartChoisi}, {Ctl::TxtPoidsReel2eme, 5, &WorkingValues::PdsReelEcht2},
    {Ctl::TxtNb2eme, 6, &WorkingValues::NbEcht2},          {Ctl::TxtNbVoulu, 7, &WorkingValues::NbVoulu},
};

const QRegularExpression kNumberShown(R"(^-?(0|[1-9][0-9]*)(,[0-9]*)?(E[+-][0-9]+)?$)");

}  // namespace

class HostileTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { prepareApplication(); }

    void anyText_inAnyBox_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("outOfRange");
        QTest::addColumn<double>("reads");
        QTest::newRow("1e400") << "1e400" << true << 0.0;
        QTest::newRow("-1e400") << "-1e400" << true << 0.0;
        QTest::newRow("1e-400") << "1e-400" << false << 0.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("blank") << " " << false << 0.0;
        QTest::newRow("point") << "." << false << 0.0;
        QTest::newRow("minus") << "-" << false << 0.0;
        QTest::newRow("1e") << "1e" << false << 1.0;
        QTest::newRow("1e+") << "1e+" << false << 1.0;
        QTest::newRow("0x10") << "0x10" << false << 0.0;
        QTest::newRow("&H10") << "&H10" << false << 0.0;
        QTest::newRow("full-width digits") << "１２" << false << 0.0;
        QTest::newRow("1 000") << "1 000" << false << 1000.0;
        QTest::newRow("megabyte of digits") << QString(1 << 20, '7') << true << 0.0;
        QTest::newRow("megabyte of blanks, then 5") << QString(1 << 20, ' ') + "5" << false << 5.0;
        QTest::newRow("tab and line feed") << "\t\n5" << false << 5.0;
        QTest::newRow("carriage return") << "\r5" << false << 0.0;
        QTest::newRow("NUL inside") << QString("5") + QChar(0) + "9" << false << 5.0;
        QTest::newRow("control characters") << "\x01\x02\x1b" << false << 0.0;
        QTest::newRow("right-to-left mark") << QString(QChar(0x202E)) + "5" << false << 0.0;
        QTest::newRow("Arabic-Indic digits") << QString(QChar(0x0663)) << false << 0.0;
        QTest::newRow("emoji") << QString::fromUtf8("😀5") << false << 0.0;
        QTest::newRow("no-break space") << QString("1") + QChar(0x00A0) + "5" << false << 1.0;
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + "5" << false << 0.0;
    }

    void anyText_inAnyBox() {
        QFETCH(QString, text);
        QFETCH(bool, outOfRange);
        QFETCH(double, reads);
        for (const Input& in : kInputs) {
            Window w;
            if (in.step > 1) runRoad(w, kRoad, in.step - 1);
            if (in.box == Ctl::TxtPoidsTotal) w.type(Ctl::TxtPrecision, "0.1");
            const double before = w->values.*in.stored;
            w.paste(in.box, text);
            w.click(kButtonOf[in.step - 1]);
            const QString where = " in " + nameOf(in.box);

            QVERIFY2(w->isVisible(), qPrintable("window gone" + where));
            QCOMPARE(w.takeRangeAlarm(), outOfRange);
            if (outOfRange) {
                QCOMPARE(w.shown(), shownAfterAccepted(in.step - 1));
                COMPARE_EXACT(w->values.*in.stored, before);  // never stored as infinity
            } else {
                COMPARE_EXACT(w->values.*in.stored, reads);
            }
            for (const ControlSpec& c : controlTable()) {
                if (c.kind != Kind::TextBox || c.role == Role::InputBox || !w->isShown(c.id)) continue;
                QVERIFY2(kNumberShown.match(w.text(c.id)).hasMatch(),
                         qPrintable(nameOf(c.id) + " shows '" + w.text(c.id) + "'" + where));
            }
        }
    }
};

QTEST_MAIN(HostileTest)
#include "test_hostile.moc"
