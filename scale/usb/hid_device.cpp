#include "hid_device.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QSocketNotifier>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace pesolane {
namespace {

// Reads of one wake-up: a device that floods its reports leaves the window
// its turn between them.
constexpr int kReadsAWake = 64;

QString sysfsEntry(const QString& node, const QString& root, const char* file) {
    return QDir(root).filePath(QStringLiteral("sys/class/hidraw/%1/device/%2").arg(QFileInfo(node).fileName(),
                                                                                    QString::fromLatin1(file)));
}

Weighing failed(Failure f, const QString& detail = {}) {
    Weighing w;
    w.failure = f;
    w.detail = detail.toStdString();
    return w;
}

}  // namespace

QByteArray hidDescriptor(const QString& node, const QString& root) {
    QFile f(sysfsEntry(node, root, "report_descriptor"));
    return f.open(QIODevice::ReadOnly) ? f.read(64 * 1024) : QByteArray();
}

QString hidIds(const QString& node, const QString& root) {
    // HID_ID=0003:00000922:00008003: bus, vendor, product.
    QFile f(sysfsEntry(node, root, "uevent"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    for (const QByteArray& line : f.read(64 * 1024).split('\n')) {
        const QList<QByteArray> parts = line.startsWith("HID_ID=") ? line.mid(7).split(':') : QList<QByteArray>();
        if (parts.size() == 3 && parts[1].size() >= 4 && parts[2].size() >= 4)
            return QString::fromLatin1(parts[1].right(4) + ':' + parts[2].right(4)).toLower();
    }
    return {};
}

QList<WeighingDevice> findWeighingDevices(const QString& root) {
    QList<WeighingDevice> found;
    const QDir classes(QDir(root).filePath(QStringLiteral("sys/class/hidraw")));
    for (const QString& name : classes.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString node = QDir(root).filePath(QStringLiteral("dev/") + name);
        const QByteArray d = hidDescriptor(node, root);
        if (readHidDescriptor(std::string_view(d.constData(), std::size_t(d.size()))).weighing)
            found.append({node, hidIds(node, root)});
    }
    return found;
}

QByteArray HidReader::askInputReport(int fd, std::uint8_t id, std::size_t size) {
    QByteArray buf(qsizetype(std::max<std::size_t>(size, 2)), '\0');
    buf[0] = char(id);  // the report asked for; it comes back first
    const int n = ::ioctl(fd, HIDIOCGINPUT(buf.size()), buf.data());
    return n > 0 ? buf.left(std::min<qsizetype>(n, buf.size())) : QByteArray();
}

HidReader::HidReader(const ScaleSettings& settings, QObject* parent, Ask ask)
    : QObject(parent), settings_(settings), ask_(std::move(ask)) {
    limit_.setSingleShot(true);
    limit_.setTimerType(Qt::PreciseTimer);
    connect(&limit_, &QTimer::timeout, this, [this] { finish(session_.expire()); });
}

HidReader::~HidReader() { close(); }

void HidReader::read() {
    if (busy_) return;
    if (fd_ < 0 && !open()) return;
    // What the device queued before F9 may be stale: dropped. A device
    // unplugged since the last read may be back under the same node.
    if (!drain()) {
        if (!open()) return;
        if (!drain()) {
            close();
            return finish(failed(Failure::LinkLost));
        }
    }
    busy_ = true;
    session_.begin();
    limit_.start(static_cast<int>(settings_.seconds * 1000));
    const HidLayout& l = session_.layout();
    const std::uint8_t id = l.numbered ? l.dataId : 0;
    const std::size_t size = l.sizes[id] == 0 ? 64 : l.sizes[id] + (l.numbered ? 0 : 1);
    // The ask waits on the USB control transfer: never on this thread.
    const quint64 serial = ++serial_;
    auto* watcher = new QFutureWatcher<QByteArray>(this);
    connect(watcher, &QFutureWatcher<QByteArray>::finished, this, [this, watcher, serial] {
        asked(serial, watcher->result());
        watcher->deleteLater();
    });
    const int fd = ::dup(fd_);
    watcher->setFuture(QtConcurrent::run([ask = ask_, fd, id, size] {
        QByteArray report = fd >= 0 ? ask(fd, id, size) : QByteArray();
        if (fd >= 0) ::close(fd);
        return report;
    }));
}

bool HidReader::open() {
    close();
    if (settings_.port.isEmpty()) {
        const QList<WeighingDevice> found = findWeighingDevices(settings_.systemRoot);
        QStringList nodes;
        for (const WeighingDevice& d : found) nodes << d.node;
        if (nodes.size() != 1) {
            finish(nodes.isEmpty() ? failed(Failure::NoScale) : failed(Failure::SeveralDevices, nodes.join(QStringLiteral(", "))));
            return false;
        }
        node_ = nodes.first();
    } else {
        node_ = settings_.port;
    }
    const QByteArray d = hidDescriptor(node_, settings_.systemRoot);
    const HidLayout layout = d.isEmpty() ? commonHidLayout() : readHidDescriptor(std::string_view(d.constData(), std::size_t(d.size())));
    if (!layout.weighing) {
        finish(failed(Failure::DeviceOther, QStringLiteral("ce n'est pas un instrument de pesage (sa description HID ne "
                                                           "nomme pas la page 0x8D)")));
        return false;
    }
    // Read only: the program never tares, zeroes or sets anything.
    fd_ = ::open(QFile::encodeName(node_).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENODEV || error == ENXIO)
            finish(failed(Failure::DeviceAbsent));
        else if (error == EACCES || error == EPERM)
            finish(failed(Failure::DeviceDenied, hidIds(node_, settings_.systemRoot)));
        else
            finish(failed(Failure::DeviceOther, QString::fromLocal8Bit(std::strerror(error))));
        return false;
    }
    session_ = HidSession(layout);
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &HidReader::readNode);
    return true;
}

// Reads all that is queued, and drops it; false when the device is gone.
bool HidReader::drain() {
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0) continue;
        if (n < 0 && errno == EINTR) continue;
        return n < 0 && errno == EAGAIN;
    }
}

void HidReader::readNode() {
    char buf[4096];
    // No more than the largest report a read: a hidraw node gives one report
    // a read anyway, and a pipe standing for one then gives its reports whole.
    std::size_t most = 0;
    for (const std::uint16_t size : session_.layout().sizes) most = std::max<std::size_t>(most, size);
    most = most == 0 || most > sizeof buf ? sizeof buf : most;
    for (int i = 0; i < kReadsAWake && fd_ >= 0; ++i) {
        const ssize_t n = ::read(fd_, buf, most);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return;
        if (n <= 0) {  // unplugged (a hidraw node), or its writer gone (a pipe)
            close();
            if (busy_) finish(failed(Failure::LinkLost));
            return;
        }
        if (!busy_) continue;  // between reads: nobody asked
        if (std::optional<Weighing> outcome = session_.feed(std::string_view(buf, std::size_t(n)))) return finish(*outcome);
    }
}

void HidReader::asked(quint64 serial, const QByteArray& report) {
    if (!busy_ || serial != serial_ || report.isEmpty()) return;  // asking failed: the next report will do
    const bool numbered = session_.layout().numbered;
    const QByteArray whole = numbered ? report : report.mid(1);  // unnumbered: a 0 comes first
    if (std::optional<Weighing> outcome = session_.feedAsked(std::string_view(whole.constData(), std::size_t(whole.size()))))
        finish(*outcome);
}

void HidReader::abandon() {
    if (!busy_) return;
    busy_ = false;
    limit_.stop();
    ++serial_;
}

void HidReader::close() {
    notifier_.reset();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void HidReader::finish(const Weighing& w) {
    busy_ = false;
    limit_.stop();
    ++serial_;
    emit finished(w);
}

}  // namespace pesolane
