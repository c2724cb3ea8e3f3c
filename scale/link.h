// The serial link to the scale: asks for a weight and hands back one
// outcome, without ever waiting on the thread it runs on. The port is opened
// at the first read, kept open, and opened again after it is lost.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include "session.h"
#include "settings.h"

class QSerialPort;

namespace pesolane {

// The outcome of one read: a weight text and its unit, or what went wrong.
struct WeightRead {
    Failure failure = Failure::None;
    QString weight;
    QString unit;
    QString detail;  // with a failure: what it is about (a line, a unit, the system's words)
};

class ScaleLink : public QObject {
    Q_OBJECT

public:
    explicit ScaleLink(ScaleSettings settings, QObject* parent = nullptr);

    const ScaleSettings& settings() const { return settings_; }

    // Why a read gave no weight, in French, naming this link's port and command.
    QString message(const WeightRead& outcome) const;

    // True from read() until its finished().
    bool busy() const { return busy_; }

    // Asks the scale for one stable weight; finished() follows once. Does
    // nothing while a read is under way.
    void read();

    // Gives up the read under way: no finished(), and its answer, should it
    // come, is dropped. A new read may start at once.
    void abandon();

signals:
    void finished(const pesolane::WeightRead& outcome);

private:
    bool open();
    void take();
    void lost();
    void finish(const Weighing& w);
    void stop();  // no read under way, no timer running
    void waitForSilence();
    Millis now() const { return clock_.elapsed(); }

    ScaleSettings settings_;
    QSerialPort* port_;
    QTimer limit_;
    QTimer silence_;  // a bare weight is settled by a silence after it
    QElapsedTimer clock_;
    ReadSession session_;
    bool busy_ = false;
};

}  // namespace pesolane
