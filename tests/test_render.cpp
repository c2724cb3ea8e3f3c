// The window as drawn: every visible control in its role's colour at its
// place, hidden ones leaving the window's back colour, lines at their ends.
// Also run with QT_SCALE_FACTOR=2, where everything must double.
#include <QApplication>
#include <QFontMetricsF>
#include <QImage>

#include "window_fixture.h"

using namespace pesolane;
using namespace pesolane::test;

namespace {

QRgb opaque(std::uint32_t c) { return 0xFF000000u | c; }

bool inside(const Rect& r, int x, int y) { return x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h; }

}  // namespace

class RenderTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { prepareApplication(); }

    void drawing_followsTheTable_data() {
        QTest::addColumn<int>("steps");
        QTest::newRow("opening") << 0;
        QTest::newRow("after step 3") << 3;
        QTest::newRow("end of the road") << 7;
    }

    void drawing_followsTheTable() {
        QFETCH(int, steps);
        Window w;
        if (steps > 0) runRoad(w, kRoad, steps);
        w->setFocus();  // no text cursor or focus frame in the way
        QApplication::processEvents();
        const QImage image = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const qreal scale = image.devicePixelRatio();
        QCOMPARE(image.size(), QSize(qRound(736 * scale), qRound(630 * scale)));
        auto at = [&](int x, int y) { return image.pixel(qFloor(x * scale), qFloor(y * scale)); };

        for (const ControlSpec& c : controlTable()) {
            const Rect& r = c.rect;
            if (c.kind == Kind::Line) {
                const QRgb expected = w->isShown(c.id) ? opaque(0xFFFFFF) : opaque(kWindowBack);
                QCOMPARE(at(r.x, r.y), expected);                              // first end point
                QCOMPARE(at(r.x + r.w - 1, r.y + r.h - 1), expected);          // last end point
                QCOMPARE(at(r.x + r.w / 2, r.y + r.h / 2), expected);
                continue;
            }
            if (w->isShown(c.id)) {
                // Inside the border, most of the face is the role's back colour.
                const QRgb back = opaque(styleOf(c.role).back);
                const int inset = c.kind == Kind::Label ? 0 : 3;
                int same = 0, all = 0;
                for (int y = r.y + inset; y < r.y + r.h - inset; ++y)
                    for (int x = r.x + inset; x < r.x + r.w - inset; ++x, ++all) same += at(x, y) == back;
                QVERIFY2(same * 10 >= all * 4, qPrintable(QStringLiteral("%1: %2 of %3 pixels in its colour")
                                                              .arg(nameOf(c.id)).arg(same).arg(all)));
                continue;
            }
            // A hidden control leaves what lies behind: the window's back colour,
            // wherever no visible control or line covers its rectangle.
            for (int y = r.y; y < r.y + r.h; ++y) {
                for (int x = r.x; x < r.x + r.w; ++x) {
                    bool covered = false;
                    for (const ControlSpec& o : controlTable())
                        covered = covered || (w->isShown(o.id) && inside(o.rect, x, y));
                    if (!covered && at(x, y) != opaque(kWindowBack))
                        QFAIL(qPrintable(QStringLiteral("hidden %1 shows at %2,%3").arg(nameOf(c.id)).arg(x).arg(y)));
                }
            }
        }
    }

    void signLabels_fitOnOneLine() {
        Window w;
        for (Ctl sign : {Ctl::LblPlusMoins1, Ctl::LblPlusMoins2, Ctl::LblPlusMoins3}) {
            const QFontMetricsF metrics(w->widget(sign)->font());
            QVERIFY(metrics.horizontalAdvance(QStringLiteral("+ / -")) <= controlOf(sign).rect.w);
        }
    }

    void tab_afterStep3_followsTabIndexOfVisibleControls() {
        Window w;
        runRoad(w, {"0.1", "1000", "10", "50"}, 3);
        w->textBox(Ctl::TxtPrecision)->setFocus();
        const Ctl expected[] = {Ctl::TxtPoidsTotal,     Ctl::TxtPoidsTheo1er, Ctl::Cmd1,           Ctl::TxtPoidsReel1er,
                                Ctl::Cmd2,              Ctl::TxtNb1er,        Ctl::Cmd3,           Ctl::TxtNbTotalApproxi,
                                Ctl::TxtIncertitude1,   Ctl::TxtEcartMini,    Ctl::TxtEcartMaxi,   Ctl::TxtEcartChoisi,
                                Ctl::Cmd4,              Ctl::CmdQuitter,      Ctl::TxtPrecision};
        for (Ctl next : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), nameOf(next));
        }
    }
};

QTEST_MAIN(RenderTest)
#include "test_render.moc"
