#include "link.h"

#include <QSerialPort>

#include <algorithm>

#include "hid_device.h"
#include "messages.h"
#include "port.h"

namespace pesolane {
namespace {

Weighing failed(Failure f, const QString& detail = {}) {
    Weighing w;
    w.failure = f;
    w.detail = detail.toStdString();  // UTF-8: the system's words keep their accents
    return w;
}

}  // namespace

ScaleLink::ScaleLink(ScaleSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)), port_(new QSerialPort(this)), session_(settings_.protocol) {
    clock_.start();
    limit_.setSingleShot(true);
    limit_.setTimerType(Qt::PreciseTimer);
    connect(&limit_, &QTimer::timeout, this, [this] { finish(session_.expire()); });
    silence_.setSingleShot(true);
    connect(&silence_, &QTimer::timeout, this, [this] {
        if (std::optional<Weighing> outcome = session_.wake(now())) return finish(*outcome);
        for (int asks = session_.askAgain(); asks > 0; --asks) send();
        waitForSilence();
    });
    connect(port_, &QSerialPort::readyRead, this, &ScaleLink::readPort);
    // A pulled adapter or a hung-up line reads as an error, or as an end of
    // file, over and over: the port is closed at the first.
    connect(port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        if ((e == QSerialPort::ResourceError || e == QSerialPort::ReadError) && port_->isOpen()) lost();
    });
}

void ScaleLink::read() {
    if (busy_) return;
    if (held_) return finish(failed(Failure::Searching));
    if (!settings_.problems.isEmpty()) return finish(failed(Failure::BadSetting, problemsText(settings_)));
    if (readsHid(settings_)) {
        // A USB weighing device: its own reader, its outcome through finish().
        if (!hid_) connect(hid_ = new HidReader(settings_, this), &HidReader::finished, this, &ScaleLink::finish);
        busy_ = true;
        return hid_->read();
    }
    if (!port_->isOpen() && !open()) return;
    busy_ = true;
    readPort();  // what came before the request is not its answer
    heardNothing_ = true;
    session_.begin(now());
    if (settings_.protocol == Protocol::Command) send();
    limit_.start(static_cast<int>(settings_.seconds * 1000));
}

void ScaleLink::send() { port_->write(settings_.command + settings_.commandEnd); }

bool ScaleLink::open() {
    const QString path = settings_.port;
    port_->setPortName(path);
    setLine(*port_, settings_.baud, settings_.format);
    if (port_->open(QIODevice::ReadWrite)) {
        // What the port holds from before is no answer to anything asked now;
        // bytes held tell that a line was under way as it opened.
        const bool arriving = !port_->readAll().isEmpty() || port_->bytesAvailable() > 0;
        port_->clear(QSerialPort::Input);
        port_->readAll();
        session_.opened(now(), arriving);
        return true;
    }
    QString reason;
    const Failure failure = openFailure(*port_, path, &reason);
    finish(failed(failure, failure == Failure::PortOther ? reason : QString()));
    return false;
}

void ScaleLink::abandon() {
    if (!busy_) return;
    if (hid_) hid_->abandon();
    session_.abandon();
    stop();
}

void ScaleLink::setSettings(ScaleSettings settings) {
    abandon();
    delete hid_;
    hid_ = nullptr;
    port_->close();
    port_->clearError();
    settings_ = std::move(settings);
    session_ = ReadSession(settings_.protocol);
}

void ScaleLink::stop() {
    busy_ = false;
    limit_.stop();
    silence_.stop();
}

void ScaleLink::readPort() {
    QByteArray bytes = port_->readAll();
    if (bytes.isEmpty()) return;
    keepDataBits(bytes, settings_.format);
    heardNothing_ = false;
    const std::string_view sent(bytes.constData(), std::size_t(bytes.size()));
    if (std::optional<Weighing> outcome = session_.feed(sent, now())) {
        if (busy_) finish(*outcome);
        return;
    }
    for (int asks = session_.askAgain(); asks > 0; --asks) send();
    if (busy_) waitForSilence();
}

void ScaleLink::waitForSilence() {
    if (const std::optional<Millis> at = session_.wakeAt())
        silence_.start(static_cast<int>(std::max<Millis>(0, *at - now())));
    else
        silence_.stop();
}

void ScaleLink::lost() {
    port_->close();
    port_->clearError();
    if (!busy_) return;
    session_.abandon();
    finish(failed(Failure::LinkLost));
}

void ScaleLink::finish(const Weighing& w) {
    stop();
    emit finished(w);
}

QString ScaleLink::source() const { return hid_ && settings_.port.isEmpty() ? hid_->node() : settings_.port; }

QString ScaleLink::message(const Weighing& outcome) const {
    return QString::fromStdString(
        messageOf(outcome, source().toStdString(), settings_.commandText.toStdString(), settings_.seconds));
}

}  // namespace pesolane
