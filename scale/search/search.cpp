#include "search.h"

#include <QSerialPort>
#include <QSerialPortInfo>

#include <algorithm>

#include "hid_device.h"
#include "link.h"
#include "messages.h"
#include "port.h"

namespace pesolane {
namespace {

// How long each trial lasts, in ms. A scale that sends on its own sends
// several lines a second; one that answers does so within a few tenths of
// a second, plus the time its line takes at the speed tried.
constexpr int kListenMs = 600;
constexpr int kWatchMs = 2500;    // after a first print: more comes (a stream), or not (a PRINT key)
constexpr int kStreamGapMs = 1000;
constexpr int kAnswerMs = 250;
constexpr int kLongestWindowMs = 1500;  // bytes that keep coming are judged then
constexpr int kClearMs = 150;
constexpr int kQuietBeforeMs = 150;  // a port quiet that long is not in the middle of a line
constexpr double kReadSeconds = 3;  // the read of the weight shown now

QString lineText(const LineSetting& l) { return QStringLiteral("%1 %2").arg(l.baud).arg(QString::fromStdString(l.format)); }

}  // namespace

QList<PortChoice> searchOrder(QList<PortChoice> ports) {
    const auto rank = [](const PortChoice& p) {
        const bool adapter = p.usb || p.name.startsWith(QLatin1String("/dev/ttyUSB")) || p.name.startsWith(QLatin1String("/dev/ttyACM"));
        return p.hid ? 0 : adapter ? 1 : 2;
    };
    std::stable_sort(ports.begin(), ports.end(), [&rank](const PortChoice& a, const PortChoice& b) {
        return rank(a) != rank(b) ? rank(a) < rank(b) : a.name < b.name;
    });
    return ports;
}

QList<PortChoice> portsToSearch(const QString& systemRoot) {
    QList<PortChoice> ports;
    for (const WeighingDevice& d : findWeighingDevices(systemRoot))
        ports.append({d.node, QStringLiteral("instrument de pesage USB %1").arg(d.ids).trimmed(), true});
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        QStringList words;
        for (const QString& w : {info.manufacturer(), info.description()})
            if (!w.isEmpty() && !words.contains(w)) words << w;
        if (info.hasVendorIdentifier())
            words << QStringLiteral("USB %1:%2")
                         .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                         .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
        ports.append({info.systemLocation(), words.join(QStringLiteral(", ")), false, info.hasVendorIdentifier()});
    }
    return searchOrder(ports);
}

ScaleSearch::ScaleSearch(QList<PortChoice> ports, SearchScope scope, std::optional<Trial> known, ScaleSettings base,
                         QObject* parent)
    : QObject(parent), ports_(std::move(ports)), scope_(std::move(scope)), plan_(searchPlan(scope_, known)),
      base_(std::move(base)), port_(new QSerialPort(this)) {
    window_.setSingleShot(true);
    window_.setTimerType(Qt::PreciseTimer);
    connect(&window_, &QTimer::timeout, this, &ScaleSearch::windowOver);
    connect(port_, &QSerialPort::readyRead, this, &ScaleSearch::bytesCame);
    connect(port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        if ((e == QSerialPort::ResourceError || e == QSerialPort::ReadError) && port_->isOpen()) {
            // Unplugged during the search: the next port.
            window_.stop();
            port_->close();
            emit portRefused(ports_[portIndex_].name, QStringLiteral("la liaison est perdue pendant la recherche"));
            nextPort();
        }
    });
}

ScaleSearch::~ScaleSearch() { cancel(); }

int ScaleSearch::total() const {
    int n = 0;
    for (const PortChoice& p : ports_) n += p.hid ? 1 : int(plan_.size());
    return n;
}

void ScaleSearch::start() {
    portIndex_ = -1;
    result_ = {};
    nextPort();
}

void ScaleSearch::cancel() {
    phase_ = Phase::Idle;
    window_.stop();
    if (port_->isOpen()) port_->close();
    delete reader_;
    reader_ = nullptr;
}

void ScaleSearch::nextPort() {
    if (port_->isOpen()) port_->close();
    ++portIndex_;
    if (portIndex_ >= ports_.size()) {
        phase_ = Phase::Idle;
        return emit over(result_);
    }
    const PortChoice& p = ports_[portIndex_];
    if (p.hid) {
        ++result_.trials;
        emit progress(p.description.isEmpty() ? p.name : QStringLiteral("%1 (%2)").arg(p.name, p.description),
                      result_.trials, total());
        result_.settings = base_;
        result_.settings.port = p.name;
        result_.settings.hid = true;
        return found(Protocol::Command, nullptr);
    }
    port_->setPortName(p.name);
    trial_ = 0;
    lineSet_ = false;
    if (!plan_.empty()) setLine(*port_, plan_[0].line.baud, QString::fromStdString(plan_[0].line.format));
    if (plan_.empty() || !port_->open(QIODevice::ReadWrite)) {
        if (!plan_.empty()) {
            QString reason;
            const Weighing why{openFailure(*port_, p.name, &reason), {}, {}, reason.toStdString()};
            const QString text = QString::fromStdString(messageOf(why, p.name.toStdString(), {}, 0));
            result_.refused << text;
            emit portRefused(p.name, text);
        }
        return nextPort();
    }
    portClock_.start();
    lastPortByte_ = 0;  // what came before the port opened is unknown: as if a byte came then
    talking_.clear();
    nextTrial();
}

void ScaleSearch::nextTrial() {
    const auto talking = [this](const Trial& t) {
        return t.probe >= 0 && std::find(talking_.begin(), talking_.end(), t.line) != talking_.end();
    };
    while (trial_ < plan_.size() && talking(plan_[trial_])) ++trial_;
    if (trial_ >= plan_.size()) return nextPort();
    const Trial& t = plan_[trial_];
    ++result_.trials;
    if (!lineSet_ || !(t.line == line_)) {
        setLine(*port_, t.line.baud, QString::fromStdString(t.line.format));
        line_ = t.line;
        lineSet_ = true;
    }
    const QString doing = t.probe < 0 ? QStringLiteral("écoute")
                                      : QStringLiteral("envoi de %1")
                                            .arg(QString::fromStdString(spelled(scope_.probes[std::size_t(t.probe)].sent)));
    emit progress(QStringLiteral("%1 : %2, %3").arg(ports_[portIndex_].name, lineText(t.line), doing),
                  result_.trials, total());
    dropWaiting();
    if (t.probe < 0) {
        phase_ = Phase::Listening;
        lastByte_ = -1;
        since_.start();
        return window_.start(kListenMs);
    }
    phase_ = Phase::Asking;
    ask();
}

int ScaleSearch::replyMs() const {
    // Forty characters of ten bits at the speed tried.
    return kAnswerMs + 40 * 10 * 1000 / std::max(1, line_.baud);
}

void ScaleSearch::ask() {
    const Probe& p = scope_.probes[std::size_t(plan_[trial_].probe)];
    heard_.clear();
    port_->write(p.sent.data(), qint64(p.sent.size()));
    lastByte_ = -1;
    since_.start();
    window_.start(replyMs());
}

void ScaleSearch::dropWaiting() {
    // What the port holds belongs to no trial; its bytes, taken now, tell
    // whether a line is under way as the next window opens.
    const Phase was = phase_;
    phase_ = Phase::Idle;
    port_->waitForReadyRead(0);
    port_->readAll();
    phase_ = was;
    heard_.clear();
}

void ScaleSearch::bytesCame() {
    QByteArray bytes = port_->readAll();
    if (bytes.isEmpty()) return;
    const qint64 now = portClock_.elapsed();
    const bool quietBefore = now - lastPortByte_ >= kQuietBeforeMs;
    lastPortByte_ = now;
    if (phase_ == Phase::Idle || phase_ == Phase::Reading || phase_ == Phase::Clearing) return;
    if (heard_.isEmpty()) firstWhole_ = quietBefore;
    keepDataBits(bytes, QString::fromStdString(line_.format));
    heard_ += bytes.left(4096 - heard_.size());
    if (phase_ == Phase::Watching) longestGap_ = std::max(longestGap_, since_.elapsed() - lastByte_);
    lastByte_ = since_.elapsed();
    // An answer is judged once its bytes pause; bytes that keep coming, at
    // the latest after the longest window.
    if (phase_ == Phase::Asking || phase_ == Phase::Confirming || phase_ == Phase::Bettering)
        window_.start(int(std::clamp<qint64>(kLongestWindowMs - since_.elapsed(), 0, std::max(150, replyMs() - kAnswerMs))));
}

void ScaleSearch::windowOver() {
    const Trial& t = plan_[trial_];
    const std::string_view bytes(heard_.constData(), std::size_t(heard_.size()));
    switch (phase_) {
    case Phase::Listening:
        if (judgeReply(bytes, {}, !firstWhole_).heard == Heard::Scale) {
            phase_ = Phase::Watching;
            talking_.push_back(t.line);
            longestGap_ = 0;
            lastByte_ = 0;
            since_.start();
            return window_.start(kWatchMs);
        }
        // Bytes that come unasked, whatever they read as: a device that talks
        // on its own is not asked at this setting (its answer could not be
        // told from what it sends anyway); the search listens on elsewhere.
        if (!heard_.isEmpty()) talking_.push_back(t.line);
        ++trial_;
        return nextTrial();
    case Phase::Watching: {
        // Bytes that never pause for a second: a scale that sends on its
        // own; a print, then a silence: its PRINT key (or a stream so slow
        // that each line is read as a print).
        const qint64 gap = std::max(longestGap_, since_.elapsed() - std::max<qint64>(lastByte_, 0));
        return found(gap < kStreamGapMs ? Protocol::Continuous : Protocol::Print, nullptr);
    }
    case Phase::Asking:
    case Phase::Confirming: {
        const Probe& p = scope_.probes[std::size_t(t.probe)];
        const Reply reply = judgeReply(bytes, p.sent);
        if (reply.heard == Heard::Scale && phase_ == Phase::Asking && p.betterFirst) {
            firstReply_ = heard_;
            firstReplyWhole_ = firstWhole_;
            return askBetter(p);
        }
        if (reply.heard == Heard::Scale && phase_ == Phase::Asking) {
            // Once might be chance (a PRINT key pressed then): asked again, it answers again.
            phase_ = Phase::Confirming;
            firstReply_ = heard_;
            firstReplyWhole_ = firstWhole_;
            return ask();
        }
        if (reply.heard == Heard::Scale && !p.better.empty() && !p.betterFirst) return askBetter(p);
        if (reply.heard == Heard::Scale) return found(Protocol::Command, &p);
        if (reply.heard == Heard::Nothing && phase_ == Phase::Confirming) {
            // Asked again, silent: what came was a print, sent unasked.
            heard_ = firstReply_;
            firstWhole_ = firstReplyWhole_;
            return found(Protocol::Print, nullptr);
        }
        if (reply.heard == Heard::CommandUnknown && phase_ == Phase::Asking) {
            const QString at = QStringLiteral("%1, %2").arg(ports_[portIndex_].name, lineText(t.line));
            if (!result_.answeredOtherwise.contains(at)) result_.answeredOtherwise << at;
        }
        return afterProbe();
    }
    case Phase::Bettering: {
        const Probe& p = scope_.probes[std::size_t(t.probe)];
        if (judgeReply(bytes, p.better).heard == Heard::Scale) return found(Protocol::Command, &p, true);
        if (p.betterFirst) {  // not answered: the probe again, to confirm its own answer
            phase_ = Phase::Confirming;
            return ask();
        }
        if (p.kept) return found(Protocol::Command, &p);
        return afterProbe();  // its answer would not be the weight F9 wants: never written
    }
    case Phase::Clearing:
        dropWaiting();
        ++trial_;
        return nextTrial();
    case Phase::Idle:
    case Phase::Reading: return;
    }
}

void ScaleSearch::askBetter(const Probe& p) {
    // Answered: now the request its manual gives for the weight F9 wants.
    phase_ = Phase::Bettering;
    heard_.clear();
    port_->write(p.better.data(), qint64(p.better.size()));
    lastByte_ = -1;
    since_.start();
    window_.start(replyMs());
}

void ScaleSearch::afterProbe() {
    const Probe& p = scope_.probes[std::size_t(plan_[trial_].probe)];
    if (p.clear.empty()) {
        ++trial_;
        return nextTrial();
    }
    port_->write(p.clear.data(), qint64(p.clear.size()));
    phase_ = Phase::Clearing;
    window_.start(kClearMs);
}

void ScaleSearch::found(Protocol protocol, const Probe* probe, bool better) {
    ScaleSettings& s = result_.settings;
    if (!ports_[portIndex_].hid) {
        s = base_;
        s.port = ports_[portIndex_].name;
        s.hid = false;
        s.baud = line_.baud;
        s.format = QString::fromStdString(line_.format);
        s.protocol = protocol;
        if (probe) {
            applySetting(s, QStringLiteral("commande"), QString::fromStdString(better ? probe->betterCommand : probe->command));
            applySetting(s, QStringLiteral("fin-commande"), QString::fromStdString(probe->end));
        }
    }
    s.problems.clear();
    window_.stop();
    if (port_->isOpen()) port_->close();  // the read below opens it with what was found
    if (protocol == Protocol::Print) {
        // Its print was heard; another would need its key pressed again. It
        // shows what F9 would read of it: its net, or its one weight.
        const Weighing w = printHeard(std::string_view(heard_.constData(), std::size_t(heard_.size())), !firstWhole_);
        s.protocol = Protocol::Print;
        if (w.failure != Failure::None || w.unit.empty())
            return noWeight(w.failure == Failure::None       ? QStringLiteral("pas de masse : aucune unité")
                            : w.failure == Failure::TimedOut ? QStringLiteral("une impression, sans pesée lisible")
                                                             : QString::fromStdString(messageOf(w, s.port.toStdString(), {}, s.seconds)));
        result_.found = true;
        result_.shown = QString::fromStdString(w.weight + ' ' + w.unit);
        return finish();
    }
    phase_ = Phase::Reading;
    ScaleSettings reading = s;
    reading.seconds = kReadSeconds;
    reader_ = new ScaleLink(reading, this);
    connect(reader_, &ScaleLink::finished, this, [this](const Weighing& w) {
        const QString why = w.failure == Failure::None ? QStringLiteral("pas de masse : aucune unité") : reader_->message(w);
        // The serial port let go, for the search to go on there (a USB device's
        // reader, still on the stack, goes with the link, later).
        if (!ports_[portIndex_].hid) reader_->setSettings(reader_->settings());
        reader_->deleteLater();
        reader_ = nullptr;
        // Found only when F9's own read, with the settings about to be written, gives a settled mass weight.
        if (w.failure != Failure::None || w.unit.empty()) return noWeight(why);
        result_.found = true;
        result_.shown = QString::fromStdString(w.weight + ' ' + w.unit);
        finish();
    });
    emit progress(QStringLiteral("%1 : lecture de la pesée").arg(s.port), total(), total());
    reader_->read();
}

void ScaleSearch::noWeight(const QString& why) {
    const PortChoice& p = ports_[portIndex_];
    result_.settings = {};
    phase_ = Phase::Idle;
    if (p.hid) {  // absent, not allowed, or no weight: told as a port that would not do
        result_.refused << why;
        emit portRefused(p.name, why);
        return nextPort();
    }
    result_.noWeight << QStringLiteral("%1, %2 : %3").arg(p.name, lineText(line_), why);
    setLine(*port_, line_.baud, QString::fromStdString(line_.format));
    if (!port_->open(QIODevice::ReadWrite)) return nextPort();
    portClock_.start();
    lastPortByte_ = 0;
    ++trial_;
    nextTrial();
}

void ScaleSearch::finish() {
    phase_ = Phase::Idle;
    emit over(result_);
}

}  // namespace pesolane
