// The search for a scale nobody has set up, over the ports: the port opened,
// its line set, bytes written and read and a timer run for the decisions of
// search_core.h, never waiting on the thread it runs on. USB weighing devices need no setting: they are
// listed first and taken as they are. A scale found is read once, as F9
// would read it, for the weight it shows now.
#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <optional>
#include <vector>

#include "probes.h"
#include "search_core.h"
#include "settings.h"

class QSerialPort;

namespace pesolane {

class ScaleLink;

struct PortChoice {
    QString name;         // /dev/ttyUSB0
    QString description;  // what the system says of it: maker, product
    bool hid = false;     // a USB weighing device
    bool usb = false;     // a serial port on a USB adapter
};

// The ports in the order they are searched: USB weighing devices, then USB
// serial adapters, then the other serial ports (built in, often silent),
// each group by name. A port named ttyUSB or ttyACM is on a USB adapter
// even where the system gives no maker for it.
QList<PortChoice> searchOrder(QList<PortChoice> ports);

// The ports of this system worth searching, in that order.
QList<PortChoice> portsToSearch(const QString& systemRoot = QStringLiteral("/"));

struct SearchResult {
    bool found = false;
    ScaleSettings settings;   // the settings found (the time limit kept)
    QString shown;            // the weight the scale shows now, or why none was read, or that it moves
    bool moving = false;      // found with its weight still moving
    QString unusable;         // the settings file's bad lines that the search does not mend: nothing searched
    QStringList mended;       // the settings file's bad lines that the settings found replace
    QStringList refused;      // ports that would not open, each with why
    QStringList answeredOtherwise;  // settings at which a scale said "command unknown"
    QStringList noWeight;     // settings at which a device talked, but gave no settled mass weight, each with why
    int trials = 0;           // trials made
};

class ScaleSearch : public QObject {
    Q_OBJECT

public:
    // Searches `ports` within `scope`, `known` first; `base` gives what the
    // search does not set (the time limit, the settings file).
    ScaleSearch(QList<PortChoice> ports, SearchScope scope, std::optional<Trial> known, ScaleSettings base,
                QObject* parent = nullptr);
    ~ScaleSearch() override;

    void start();
    // Stops at once: the port closed, nothing more sent, no over().
    void cancel();

    // Trials in all (every port), for a progress bar.
    int total() const;

signals:
    void progress(const QString& what, int done, int total);
    void portRefused(const QString& port, const QString& why);
    void over(const pesolane::SearchResult& result);

private:
    void nextPort();
    void bytesCame();
    void apply(SearchStep step);
    void read();
    void noWeight(const QString& why);
    void found(const Weighing& shown);
    void finish();
    Millis now() const { return portClock_.elapsed(); }
    ScaleSettings settingsFound() const;

    QList<PortChoice> ports_;
    SearchCore core_;
    ScaleSettings base_;
    QSerialPort* port_;
    QTimer window_;
    QElapsedTimer portClock_;  // since the port opened
    bool dropping_ = false;    // what the port holds is being dropped
    bool searching_ = false;
    int portIndex_ = -1;
    SearchResult result_;
    ScaleLink* reader_ = nullptr;
};

}  // namespace pesolane
