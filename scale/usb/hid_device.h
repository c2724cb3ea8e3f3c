// A USB scale that presents itself as a HID weighing device, read through its
// hidraw node: found through sysfs, opened for reading only, never waited on.
//
// A read drops every report queued before it, then asks the device for its
// current input report (HIDIOCGINPUT, which only asks); where asking fails,
// the next report the device sends is taken. A weight in motion waits for a
// stable report up to the time limit.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

#include "hid_report.h"
#include "settings.h"

class QSocketNotifier;

namespace pesolane {

struct WeighingDevice {
    QString node;  // /dev/hidraw3
    QString ids;   // vendor:product, "0922:8003"; empty when sysfs does not say
};

// The hidraw devices whose report descriptor names the weighing devices page,
// under `root` (/sys/class/hidraw, nodes in /dev), in the order of their names.
QList<WeighingDevice> findWeighingDevices(const QString& root = QStringLiteral("/"));

// What sysfs says of the hidraw node named like `node`: its report
// descriptor, its vendor:product ids (empty when it says nothing).
QByteArray hidDescriptor(const QString& node, const QString& root);
QString hidIds(const QString& node, const QString& root);

class HidReader : public QObject {
    Q_OBJECT

public:
    // Asks an open node for its current input report `id` (0: reports not
    // numbered), into a buffer of `size` bytes; empty when asking fails.
    using Ask = std::function<QByteArray(int fd, std::uint8_t id, std::size_t size)>;
    static QByteArray askInputReport(int fd, std::uint8_t id, std::size_t size);

    explicit HidReader(const ScaleSettings& settings, QObject* parent = nullptr, Ask ask = askInputReport);
    ~HidReader() override;

    // The node read (the one found when no port is set up).
    QString node() const { return node_; }
    bool busy() const { return busy_; }

    // Reads one weight; finished() follows once.
    void read();
    // Gives the read up: no finished().
    void abandon();

signals:
    void finished(const pesolane::Weighing& outcome);

private:
    bool open();
    bool drain();
    void readNode();
    void asked(quint64 serial, const QByteArray& report);
    void close();
    void finish(const Weighing& w);

    ScaleSettings settings_;
    Ask ask_;
    QString node_;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer limit_;
    HidSession session_;
    bool busy_ = false;
    quint64 serial_ = 0;  // the read an answer to an ask belongs to
};

}  // namespace pesolane
