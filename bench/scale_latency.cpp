// Time from the scale's last byte to the weight in the box: a scale on a
// pseudo-terminal, in a thread of its own, answers each command at once with
// a marked stable weight; the window reads it into the total weight box.
// Prints the median, the 99th percentile and the largest of the reads.
// With "bare", the scale instead streams a bare weight line every 100 ms, the
// same weight always, and the time measured is from F9 to the box.
//   QT_QPA_PLATFORM=offscreen build/bench/scale_latency [reads] [bare]
#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <poll.h>
#include <string_view>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "application.h"
#include "form1.h"
#include "link.h"
#include "scale_reading.h"
#include "steps.h"

using namespace pesolane;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    prepareApplication();
    const int reads = argc > 1 ? std::atoi(argv[1]) : 1000;
    const bool bare = argc > 2 && std::string_view(argv[2]) == "bare";

    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return 1;
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    std::atomic<Clock::rep> lastByte{0};
    std::atomic<bool> done{false};
    std::thread scale([&] {
        static const char answer[] = "S S      0100.250 g\r\n";
        static const char line[] = "     0100.250 g\r\n";
        char buf[64];
        pollfd p{master, POLLIN, 0};
        while (bare && !done) {
            (void)!::write(master, line, sizeof line - 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        while (!done) {
            if (::poll(&p, 1, 100) <= 0) continue;
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0) break;
            if (std::find(buf, buf + n, '\n') == buf + n) continue;
            lastByte = Clock::now().time_since_epoch().count();
            (void)!::write(master, answer, sizeof answer - 1);
        }
    });

    ScaleSettings settings;
    settings.port = QString::fromLocal8Bit(::ttyname(slave));
    if (bare) settings.protocol = Protocol::Continuous;
    ScaleLink link(settings);
    Form1 form;
    bindSteps(form);
    new ScaleReading(form, link);
    form.show();
    QLineEdit* box = form.textBox(Ctl::TxtPoidsTotal);
    std::vector<double> micros;
    QObject::connect(box, &QLineEdit::textChanged, [&](const QString& text) {
        if (text == QLatin1String("0100.250"))
            micros.push_back(std::chrono::duration<double, std::micro>(Clock::now().time_since_epoch() -
                                                                        Clock::duration(lastByte.load()))
                                 .count());
    });
    box->setFocus();
    QEventLoop wait;
    QObject::connect(&link, &ScaleLink::finished, &wait, &QEventLoop::quit, Qt::QueuedConnection);
    for (int i = 0; i < reads; ++i) {
        box->clear();
        lastByte = Clock::now().time_since_epoch().count();  // with bare lines: from F9
        emit form.weightWanted(Ctl::TxtPoidsTotal);
        wait.exec();
    }
    done = true;
    ::close(master);
    scale.join();
    std::sort(micros.begin(), micros.end());
    if (micros.empty()) return 1;
    std::printf("%zu reads%s, median %.0f us, 99th percentile %.0f us, largest %.0f us\n", micros.size(),
                bare ? " of a steady bare stream: from F9 to the box" : ": from the scale's last byte to the box",
                micros[micros.size() / 2], micros[micros.size() * 99 / 100], micros.back());
    return 0;
}
