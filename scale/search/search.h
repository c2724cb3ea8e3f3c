// The search for a scale nobody has set up: over the ports, the line
// settings and the probes of probes.h, one trial at a time, never waiting on
// the thread it runs on. USB weighing devices need no setting: they are
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
    QString shown;            // the weight the scale shows now, or why none was read
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
    enum class Phase { Idle, Listening, Watching, Asking, Confirming, Bettering, Clearing, Reading };

    void nextPort();
    void nextTrial();
    void windowOver();
    void bytesCame();
    void ask();
    void afterProbe();
    void askBetter(const Probe& p);
    void dropWaiting();
    void found(Protocol protocol, const Probe* probe, bool better = false);
    void noWeight(const QString& why);
    void finish();
    int replyMs() const;

    QList<PortChoice> ports_;
    SearchScope scope_;
    std::vector<Trial> plan_;
    ScaleSettings base_;
    QSerialPort* port_;
    QTimer window_;
    QElapsedTimer since_;     // since the window opened
    QElapsedTimer portClock_;  // since the port opened
    qint64 lastPortByte_ = 0;  // when the port last gave a byte (or opened), on that clock
    bool firstWhole_ = false;  // the window's first bytes came after a quiet port: no line cut
    bool firstReplyWhole_ = false;
    qint64 lastByte_ = -1;    // when the last byte came, in that window
    qint64 longestGap_ = 0;   // the longest silence between bytes, while watching
    QByteArray heard_;
    QByteArray firstReply_;  // the answer to a probe, before it is asked again
    Phase phase_ = Phase::Idle;
    int portIndex_ = -1;
    std::size_t trial_ = 0;
    LineSetting line_;
    bool lineSet_ = false;
    std::vector<LineSetting> talking_;  // the settings at which bytes came unasked, on this port
    SearchResult result_;
    ScaleLink* reader_ = nullptr;
};

}  // namespace pesolane
