// A long seeded random walk through the window: typed texts of every kind
// and presses of whatever buttons are visible, checking after each press
// what must always hold.
#include <QApplication>
#include <QElapsedTimer>
#include <QRegularExpression>

#include <charconv>
#include <cmath>
#include <random>

#include "application.h"
#include "conversions.h"
#include "window_fixture.h"

using namespace pesolane;
using namespace pesolane::test;

namespace {

constexpr unsigned kSeed = 20121201;
constexpr int kPresses = 4000;

// A number as the operator types it: shortest text that reads back exactly.
QString typed(double x) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, x);
    return QString::fromLatin1(buf, r.ptr - buf);
}

bool overlaps(const Rect& a, const Rect& b) {
    return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

class Walker {
public:
    explicit Walker(Window& w) : w_(w), rng_(kSeed) {}

    // A text for the input box of `step` (1 to 7; 0 is the total weight):
    // mostly a value near or inside the bounds the step checks, sometimes
    // anything an operator's keyboard or clipboard may hold.
    QString textFor(int step) {
        const WorkingValues& v = w_->values;
        const double r = uniform(rng_);
        if (pick(0.25)) return hostile();
        switch (step) {
        case 0: return typed(v.precis * 10 * std::pow(10.0, 3 * r) * (pick(0.1) ? 0.999 : 1));
        case 1: return pick(0.5) ? typed(std::pow(10.0, 4 * r - 2)) : QStringLiteral("0.1");
        case 2: return pick(0.2) ? typed(pick(0.5) ? v.u : v.PdsTot) : typed(v.u + (v.PdsTot - v.u) * r);
        case 3: return typed(std::floor(1 + 500 * r));
        case 4: return pick(0.2) ? typed(pick(0.5) ? v.EcartMini : v.EcartMaxi) : typed(v.EcartMini + (v.EcartMaxi - v.EcartMini) * r);
        case 5: return pick(0.2) ? typed(v.v) : typed(v.v * (0.99 + r));
        case 6: return typed(std::floor(r * 1000));
        default: return pick(0.2) ? typed(v.NbTotFinal) : typed(1 + (v.NbTotFinal - 1) * r);
        }
    }

    QString hostile() {
        static const QStringList texts{
            "",       " ",     ".",       "-",      "1e",     "1e+",    "0x10",   "&H10",   "１２",  "1 000",
            "abc",    "0,5",   "1e400",   "-1e400", "1e-400", "9e307",  "-0",     "+5",     "5e-324", "1.7976931348623157e308",
            "\t7",    "π",     "١٢",      "ⅷ",     "😀",     "1\u00A0000", "50 pièces", "1e999999999999"};
        return texts[int(uniform(rng_) * texts.size()) % texts.size()];
    }

    bool pick(double p) { return uniform(rng_) < p; }
    int below(int n) { return int(uniform(rng_) * n) % n; }

private:
    Window& w_;
    std::mt19937_64 rng_;
    std::uniform_real_distribution<double> uniform{0.0, 1.0};
};

// A result box's text: the stored value through its mask, which is a number.
const QRegularExpression kMasked(R"(^-?(0|[1-9][0-9]*),([0-9]*[1-9])?$)");
const QRegularExpression kPlain(R"(^-?(0|[1-9][0-9]*)(,[0-9]*[1-9])?(E[+-][0-9]{2,3})?$)");

}  // namespace

class WalkTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { prepareApplication(); }

    void randomWalk_keepsEveryInvariant() {
        Window w;
        Walker walk(w);
        const std::vector<int> steps{0, 1, 2, 3, 4, 5, 6};
        QElapsedTimer clock;
        clock.start();
        int alarms = 0;
        int deepest = 0;
        int pressesOf[7] = {};
        for (int press = 0; press < kPresses; ++press) {
            // Choose a visible step button, later steps more often.
            std::vector<int> visible;
            for (int s : steps)
                if (w->isShown(kButtonOf[s])) visible.push_back(s);
            const int step = walk.pick(0.7) ? visible.back() : visible[walk.below(int(visible.size()))];
            if (step == 0) {
                if (walk.pick(0.8)) w.paste(Ctl::TxtPrecision, walk.textFor(1));
                if (walk.pick(0.8)) w.paste(Ctl::TxtPoidsTotal, walk.textFor(0));
            } else {
                w.paste(kInputOf[step], walk.textFor(step + 1));
            }
            w.click(kButtonOf[step]);
            if (w.takeRangeAlarm()) ++alarms;
            deepest = std::max(deepest, step + 1);
            ++pressesOf[step];
            checkInvariants(w, press);
            if (QTest::currentTestFailed()) return;
        }
        qInfo("random walk: seed %u, %d presses, %d out-of-range reactions, deepest step %d, %lld ms", kSeed,
              kPresses, alarms, deepest, clock.elapsed());
        qInfo("presses per step: %d %d %d %d %d %d %d", pressesOf[0], pressesOf[1], pressesOf[2], pressesOf[3],
              pressesOf[4], pressesOf[5], pressesOf[6]);
        QCOMPARE(deepest, 7);
        for (int n : pressesOf) QVERIFY2(n >= 100, "every step must be pressed often");
        QVERIFY(alarms > 0);
    }

private:
    void checkInvariants(Window& w, int press) {
        const WorkingValues& v = w->values;
        const QString at = QStringLiteral(" after press %1").arg(press);
        for (const double* p = &v.precis; p <= &v.Incert3; ++p) QVERIFY2(std::isfinite(*p), qPrintable("finite" + at));
        if (w->isShown(Ctl::Cmd2)) {
            QVERIFY2(v.precis > 0 && v.PdsTot >= v.u && v.u == v.precis * 10, qPrintable("step 2 reachable" + at));
        }
        if (w->isShown(Ctl::Cmd3)) QVERIFY2(v.u <= v.PdsEcht1 && v.PdsEcht1 < v.PdsTot, qPrintable("step 3" + at));
        if (w->isShown(Ctl::Cmd4)) QVERIFY2(v.NbEcht1 >= 1, qPrintable("step 4" + at));
        if (w->isShown(Ctl::Cmd5)) {
            QVERIFY2(v.EcartMini <= v.EcartChoisi && v.EcartChoisi <= v.EcartMaxi && v.v == v.PdsEcht2,
                     qPrintable("step 5" + at));
        }
        if (w->isShown(Ctl::Cmd6)) QVERIFY2(v.PdsReelEcht2 >= v.v, qPrintable("step 6" + at));
        if (w->isShown(Ctl::Cmd7)) QVERIFY2(v.NbEcht2 >= 1, qPrintable("step 7" + at));

        // No two overlapping controls visible at once (the vertical line crosses the others by design).
        for (const ControlSpec& a : controlTable()) {
            if (!w->isShown(a.id)) continue;
            for (const ControlSpec& b : controlTable()) {
                if (index(b.id) <= index(a.id) || !w->isShown(b.id)) continue;
                if (a.kind == Kind::Line && b.kind == Kind::Line) continue;
                QVERIFY2(!overlaps(a.rect, b.rect), qPrintable(nameOf(a.id) + " overlaps " + nameOf(b.id) + at));
            }
        }

        // Every visible result is the stored value through its conversion and mask.
        const struct {
            Ctl box;
            const double* value;
            const char* mask;  // empty: written without a mask
        } results[] = {
            {Ctl::TxtPoidsTheo1er, &v.u, ""},
            {Ctl::TxtNbTotalApproxi, &v.NbTot1, "########0.#"},
            {Ctl::TxtIncertitude1, &v.Incert1, "########0.#"},
            {Ctl::TxtEcartMini, &v.EcartMini, "########0.###"},
            {Ctl::TxtEcartMaxi, &v.EcartMaxi, "########0.###"},
            {Ctl::TxtPoidsTheo2eme, &v.PdsEcht2, "#####0.######"},
            {Ctl::TxtNbTotalCalcule, &v.NbTotFinal, "######0.#"},
            {Ctl::TxtIncertitude2, &v.Incert2, "#####0.#"},
            {Ctl::TxtPoidsNbVoulu, &v.PdsNbVoulu, "####0.######"},
            {Ctl::TxtIncertitude3, &v.Incert3, "#####0.#"},
        };
        for (const auto& r : results) {
            if (!w->isShown(r.box)) continue;
            const QString text = w.text(r.box);
            const bool masked = *r.mask != '\0';
            const QString expected = QString::fromStdString(masked ? MaskedText(*r.value, makeMask(r.mask), ",")
                                                                   : LocaleText(*r.value, ","));
            QVERIFY2((masked ? kMasked : kPlain).match(text).hasMatch(), qPrintable(nameOf(r.box) + " shows " + text + at));
            QCOMPARE(text, expected);
        }
        QVERIFY(w->isVisible());
    }
};

QTEST_MAIN(WalkTest)
#include "test_walk.moc"
