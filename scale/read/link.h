// The one source of weights, whatever the scale: asks for a weight and hands
// back one outcome, without ever waiting on the thread it runs on. A serial
// scale is read through its port: opened at the first read, kept open,
// closed when it is lost (a read error, or the other end hung up), and opened
// again at the next read. A USB weighing device is read by the link's own
// USB reader, made at its first read and dropped when the settings change.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include "session.h"
#include "settings.h"

class QSerialPort;

namespace pesolane {

class HidReader;

class ScaleLink : public QObject {
    Q_OBJECT

public:
    explicit ScaleLink(ScaleSettings settings, QObject* parent = nullptr);

    const ScaleSettings& settings() const { return settings_; }

    // Why a read gave no weight, in French, naming this link's port and command.
    QString message(const Weighing& outcome) const;

    // Where the weights are read: the serial port set up, or the USB
    // weighing device's node (the one found when no port is set up).
    QString source() const;

    // True from read() until its finished().
    bool busy() const { return busy_; }

    // Asks the scale for one stable weight; finished() follows once. Does
    // nothing while a read is under way.
    void read();

    // Gives up the read under way: no finished(), and its answer, should it
    // come, is dropped. A new read may start at once.
    void abandon();

    // Whether the last read heard not one byte from the port: a scale that
    // is off, unplugged, or set up otherwise than the link.
    bool heardNothing() const { return heardNothing_; }

    // Gives up any read under way, closes the port (a search may open it)
    // and takes `settings` for the next read.
    void setSettings(ScaleSettings settings);

    // While a search for the scale has the ports, a read is refused as such.
    void hold(bool held) { held_ = held; }

signals:
    void finished(const pesolane::Weighing& outcome);

private:
    bool open();
    void readPort();
    void send();
    void lost();
    void finish(const Weighing& w);
    void stop();  // no read under way, no timer running
    void waitForSilence();
    Millis now() const { return clock_.elapsed(); }

    ScaleSettings settings_;
    QSerialPort* port_;
    HidReader* hid_ = nullptr;  // the USB weighing device's reader, once one is read
    QTimer limit_;
    QTimer silence_;  // a bare weight is settled by a silence after it
    QElapsedTimer clock_;
    ReadSession session_;
    bool busy_ = false;
    bool heardNothing_ = false;
    bool held_ = false;
};

}  // namespace pesolane
