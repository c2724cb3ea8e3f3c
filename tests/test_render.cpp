// The window as drawn: every visible control in its role's colour at its
// place, hidden ones leaving the window's back colour, lines at their ends.
// Also run with QT_SCALE_FACTOR=2, where everything must double.
#include <QApplication>
#include <QFontMetricsF>
#include <QImage>

#include <cmath>

#include <vector>

#include "application.h"
#include "expected_layout.h"
#include "window_fixture.h"

using namespace pesolane;
using namespace pesolane::test;

namespace {

QRgb opaque(std::uint32_t c) { return 0xFF000000u | c; }

bool shown(Window& w, const ExpectedControl& c) { return !w->findChild<QWidget*>(c.qname())->isHidden(); }

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

        std::vector<QRect> visible;
        for (const ExpectedControl& o : kExpectedControls)
            if (shown(w, o)) visible.push_back(o.geometry());
        for (const ExpectedControl& c : kExpectedControls) {
            const auto& r = c.rect;
            if (QLatin1String(c.kind) == "Line") {
                const QRgb expected = shown(w, c) ? opaque(0xFFFFFF) : opaque(0x404040);
                QCOMPARE(at(r.x, r.y), expected);                              // first end point
                QCOMPARE(at(r.x + r.w - 1, r.y + r.h - 1), expected);          // last end point
                QCOMPARE(at(r.x + r.w / 2, r.y + r.h / 2), expected);
                continue;
            }
            if (shown(w, c)) {
                // Inside the border, most of the face is the role's back colour.
                const QRgb back = opaque(expectedStyle(QString::fromLatin1(c.role)).back);
                const int inset = QLatin1String(c.kind) == "Label" ? 0 : 3;
                int same = 0, all = 0;
                for (int y = r.y + inset; y < r.y + r.h - inset; ++y)
                    for (int x = r.x + inset; x < r.x + r.w - inset; ++x, ++all) same += at(x, y) == back;
                QVERIFY2(same * 10 >= all * 4, qPrintable(QStringLiteral("%1: %2 of %3 pixels in its colour")
                                                              .arg(c.name).arg(same).arg(all)));
                continue;
            }
            // A hidden control leaves what lies behind: the window's back colour,
            // wherever no visible control or line covers its rectangle.
            for (int y = r.y; y < r.y + r.h; ++y) {
                for (int x = r.x; x < r.x + r.w; ++x) {
                    bool covered = false;
                    for (const QRect& o : visible) covered = covered || o.contains(x, y);
                    if (!covered && at(x, y) != opaque(0x404040))
                        QFAIL(qPrintable(QStringLiteral("hidden %1 shows at %2,%3").arg(c.name).arg(x).arg(y)));
                }
            }
        }
    }

    // The keyboard focus is unmistakable: every pixel of a band at least 2 px
    // thick all around the focused control changes with a contrast of at
    // least 3:1 between the unfocused and the focused window.
    void focus_isUnmistakable_data() {
        QTest::addColumn<QString>("control");
        for (const char* name : {"TxtPrecision", "TxtPoidsTheo1er", "TxtNbTotalCalcule", "TxtIncertitude2", "Cmd4",
                                 "CmdQuitter", "TxtIncertitude3"})
            QTest::newRow(name) << name;
    }

    void focus_isUnmistakable() {
        QFETCH(QString, control);
        Window w;
        runRoad(w, kRoad, 7);
        QRect rect;
        for (const ExpectedControl& c : kExpectedControls)
            if (c.qname() == control) rect = c.geometry();
        auto grab = [&](QWidget* focus) {
            focus->setFocus();
            QApplication::processEvents();
            return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
        };
        const QImage off = grab(w.form.get());
        const QImage on = grab(w->findChild<QWidget*>(control));
        QCOMPARE(QApplication::focusWidget()->objectName(), control);
        const qreal scale = off.devicePixelRatio();
        auto luminance = [](QRgb c) {
            auto channel = [](int v) {
                const double s = v / 255.0;
                return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
            };
            return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
        };
        const QRect band = rect.adjusted(-2, -2, 2, 2);
        for (int y = band.top(); y <= band.bottom(); ++y) {
            for (int x = band.left(); x <= band.right(); ++x) {
                if (rect.contains(x, y)) continue;
                const QPoint p(qFloor(x * scale), qFloor(y * scale));
                const double a = luminance(off.pixel(p)), b = luminance(on.pixel(p));
                const double ratio = (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
                if (ratio < 3.0)
                    QFAIL(qPrintable(QStringLiteral("%1: contrast %2 at %3,%4").arg(control).arg(ratio).arg(x).arg(y)));
            }
        }
    }

    void signLabels_fitOnOneLine() {
        Window w;
        for (Ctl sign : {Ctl::LblPlusMoins1, Ctl::LblPlusMoins2, Ctl::LblPlusMoins3}) {
            const QFontMetricsF metrics(w->widget(sign)->font());
            QVERIFY(metrics.horizontalAdvance(QStringLiteral("+ / -")) <= 33);
        }
    }
};

QTEST_MAIN(RenderTest)
#include "test_render.moc"
