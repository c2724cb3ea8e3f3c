// A scale on a pseudo-terminal: the program opens its other end as a serial
// port. It answers each command line with the next of its answers (none:
// it keeps silent), or sends lines on its own.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QSocketNotifier>
#include <QStringList>

#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <memory>

#include "session.h"
#include "settings.h"

namespace pesolane::test {

class SimulatedScale {
public:
    SimulatedScale() {
        if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) qFatal("openpty failed");
        termios raw{};
        ::tcgetattr(slave_, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(slave_, TCSANOW, &raw);
        port_ = QString::fromLocal8Bit(::ttyname(slave_));
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        notifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { listen(); });
    }
    ~SimulatedScale() { unplug(); }

    QString port() const { return port_; }

    void send(const QByteArray& bytes) const { (void)!::write(master_, bytes.constData(), std::size_t(bytes.size())); }

    // The cable pulled: the program's end reads no more.
    void unplug() {
        notifier_.reset();
        if (master_ >= 0) ::close(master_);
        if (slave_ >= 0) ::close(slave_);
        master_ = slave_ = -1;
    }

    QStringList answers;   // one for each command, "\r\n" added
    QByteArray heard;      // every byte the program sent
    char commandEnd = '\n';  // the byte that ends a command

    // The line's control flags as the program set them.
    tcflag_t lineFlags() const {
        termios t{};
        ::tcgetattr(slave_, &t);
        return t.c_cflag;
    }

private:
    void listen() {
        char buf[256];
        ssize_t n;
        while ((n = ::read(master_, buf, sizeof buf)) > 0) {
            heard.append(buf, n);
            for (ssize_t i = 0; i < n; ++i)
                if (buf[i] == commandEnd && !answers.isEmpty()) send(answers.takeFirst().toLatin1() + "\r\n");
        }
    }

    int master_ = -1, slave_ = -1;
    QString port_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

// A USB weighing device stood in for by a FIFO, read as /dev/hidraw* is; it
// sends reports written in hex. Unplugged, the program's end reads no more.
struct SimulatedHidScale {
    explicit SimulatedHidScale(QString path) : port(std::move(path)) { ::mkfifo(QFile::encodeName(port), 0600), plug(); }
    ~SimulatedHidScale() { unplug(), ::unlink(QFile::encodeName(port)); }
    void plug() { fd = ::open(QFile::encodeName(port), O_RDWR | O_NONBLOCK); }
    void unplug() { fd >= 0 && ::close(fd), fd = -1; }
    void send(const char* hex) const { const QByteArray b = QByteArray::fromHex(hex); (void)!::write(fd, b.data(), b.size()); }
    QString port;
    int fd = -1;
};

inline ScaleSettings settingsFor(const QString& port, double seconds = 5, Protocol protocol = Protocol::Command) {
    ScaleSettings s;
    s.port = port;
    s.seconds = seconds;
    s.protocol = protocol;
    return s;
}

}  // namespace pesolane::test
