#include "search.h"

#include <QSerialPort>
#include <QSerialPortInfo>

#include <algorithm>

#include "hid_device.h"
#include "keys.h"
#include "link.h"
#include "messages.h"
#include "port.h"

namespace pesolane {
namespace {

// The read of the weight shown now, in seconds.
constexpr double kReadSeconds = 3;

// What the search shows of a scale found moving.
const char kMoving[] = "l'instrument de pesage bouge : la pesée sera lue quand elle sera stable";

// The settings file's bad lines: those the search writes (`mended`) or the others.
QStringList fileProblems(bool mended) {
    QStringList texts;
    for (const ScaleSettings::Problem& p : settingsFromFile(settingsFilePath()).problems)
        if (isLinkKey(p.key.toStdString()) == mended) texts << p.text;
    return texts;
}

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
    : QObject(parent), ports_(std::move(ports)), core_(std::move(scope), known), base_(std::move(base)),
      port_(new QSerialPort(this)) {
    window_.setSingleShot(true);
    window_.setTimerType(Qt::PreciseTimer);
    connect(&window_, &QTimer::timeout, this, [this] { apply(core_.timeUp(now())); });
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
    for (const PortChoice& p : ports_) n += p.hid ? 1 : int(core_.plan().size());
    return n;
}

void ScaleSearch::start() {
    portIndex_ = -1;
    result_ = {};
    searching_ = true;
    // With a bad line the search does not write, F9 would refuse to read
    // with the file it writes: nothing is searched, and the line is told.
    if (unmended(core_.scope().fileProblems)) {
        result_.unusable = QStringLiteral("dans %1, section [pesage] : %2.")
                               .arg(settingsFilePath(), fileProblems(false).join(QStringLiteral(" ; ")));
        return finish();
    }
    nextPort();
}

void ScaleSearch::cancel() {
    searching_ = false;
    window_.stop();
    if (port_->isOpen()) port_->close();
    delete reader_;
    reader_ = nullptr;
}

void ScaleSearch::nextPort() {
    if (port_->isOpen()) port_->close();
    ++portIndex_;
    if (portIndex_ >= ports_.size()) {
        searching_ = false;
        return emit over(result_);
    }
    const PortChoice& p = ports_[portIndex_];
    if (p.hid) {
        ++result_.trials;
        emit progress(p.description.isEmpty() ? p.name : QStringLiteral("%1 (%2)").arg(p.name, p.description),
                      result_.trials, total());
        return read();
    }
    const std::vector<Trial>& plan = core_.plan();
    port_->setPortName(p.name);
    if (!plan.empty()) setLine(*port_, plan[0].line.baud, QString::fromStdString(plan[0].line.format));
    if (plan.empty() || !port_->open(QIODevice::ReadWrite)) {
        if (!plan.empty()) {
            QString reason;
            const Weighing why{openFailure(*port_, p.name, &reason), {}, {}, reason.toStdString()};
            const QString text = QString::fromStdString(messageOf(why, p.name.toStdString(), {}, 0));
            result_.refused << text;
            emit portRefused(p.name, text);
        }
        return nextPort();
    }
    portClock_.start();
    apply(core_.opened(now()));
}

void ScaleSearch::bytesCame() {
    const QByteArray bytes = port_->readAll();
    if (bytes.isEmpty() || !port_->isOpen()) return;
    const SearchStep step = core_.heard(std::string_view(bytes.constData(), std::size_t(bytes.size())), now());
    if (!dropping_) apply(step);
}

// Does what the core decided, then asks it what next while it has more.
void ScaleSearch::apply(SearchStep step) {
    for (;;) {
        if (!searching_) return;
        if (step.setLine) setLine(*port_, step.setLine->baud, QString::fromStdString(step.setLine->format));
        if (step.trial) {
            const Trial& t = core_.plan()[*step.trial];
            ++result_.trials;
            const QString doing =
                t.probe < 0 ? QStringLiteral("écoute")
                            : QStringLiteral("envoi de %1")
                                  .arg(QString::fromStdString(spelled(core_.scope().probes[std::size_t(t.probe)].sent)));
            emit progress(QStringLiteral("%1 : %2, %3").arg(ports_[portIndex_].name, lineText(t.line), doing),
                          result_.trials, total());
        }
        if (step.commandUnknown) {
            const QString at = QStringLiteral("%1, %2").arg(ports_[portIndex_].name, lineText(core_.line()));
            if (!result_.answeredOtherwise.contains(at)) result_.answeredOtherwise << at;
        }
        if (step.drop) {
            // Bytes taken now only tell the core when the port last gave one.
            dropping_ = true;
            port_->waitForReadyRead(0);
            port_->readAll();
            dropping_ = false;
            step = core_.dropped(now());
            continue;
        }
        if (!step.send.empty()) port_->write(step.send.data(), qint64(step.send.size()));
        if (step.wakeAt) window_.start(int(std::max<Millis>(0, *step.wakeAt - now())));
        switch (step.end) {
        case SearchStep::End::None: return;
        case SearchStep::End::PortDone: window_.stop(); return nextPort();
        case SearchStep::End::Read:
            window_.stop();
            port_->close();  // the read opens it with what was found
            return read();
        case SearchStep::End::Found:
            window_.stop();
            port_->close();
            return found(step.shown);
        case SearchStep::End::Unusable:  // told before any port
            window_.stop();
            port_->close();
            return finish();
        case SearchStep::End::NoWeight: {
            window_.stop();
            port_->close();
            const Weighing& w = step.shown;
            const bool print = core_.finding().protocol == Protocol::Print;
            noWeight(w.failure == Failure::None                ? QStringLiteral("pas de masse : aucune unité")
                     : print && w.failure == Failure::TimedOut ? QStringLiteral("une impression, sans pesée lisible")
                                                                : QString::fromStdString(messageOf(
                                                                      w, ports_[portIndex_].name.toStdString(), {}, base_.seconds)));
            const LineSetting& l = core_.line();
            setLine(*port_, l.baud, QString::fromStdString(l.format));
            if (!port_->open(QIODevice::ReadWrite)) return nextPort();
            portClock_.start();
            step = core_.reopened(now());
            continue;
        }
        }
    }
}

ScaleSettings ScaleSearch::settingsFound() const {
    ScaleSettings s = base_;
    s.port = ports_[portIndex_].name;
    s.problems.clear();
    if (ports_[portIndex_].hid) {
        s.hid = true;
        return s;
    }
    const Finding& f = core_.finding();
    s.hid = false;
    s.baud = f.line.baud;
    s.format = QString::fromStdString(f.line.format);
    s.protocol = f.protocol;
    if (!f.command.empty()) {
        applySetting(s, QStringLiteral("commande"), QString::fromStdString(f.command));
        applySetting(s, QStringLiteral("fin-commande"), QString::fromStdString(f.end));
    }
    return s;
}

// The weight shown now, read as F9 reads it with the settings about to be written.
void ScaleSearch::read() {
    const bool hid = ports_[portIndex_].hid;
    ScaleSettings reading = settingsFound();
    reading.seconds = kReadSeconds;
    reader_ = new ScaleLink(reading, this);
    connect(reader_, &ScaleLink::finished, this, [this, hid](const Weighing& w) {
        const QString why = w.failure == Failure::None ? QStringLiteral("pas de masse : aucune unité") : reader_->message(w);
        // The serial port let go, for the search to go on there (a USB device's
        // reader, still on the stack, goes with the link, later).
        if (!hid) reader_->setSettings(reader_->settings());
        reader_->deleteLater();
        reader_ = nullptr;
        if (hid) {
            if (!settledMass(w)) {  // absent, not allowed, or no weight: told as a port that would not do
                result_.refused << why;
                emit portRefused(ports_[portIndex_].name, why);
                return nextPort();
            }
            return found(w);
        }
        SearchStep step = core_.readOver(w);
        if (step.end == SearchStep::End::NoWeight) {
            // Its message names the read's command, as F9's would.
            noWeight(why);
            const LineSetting& l = core_.line();
            setLine(*port_, l.baud, QString::fromStdString(l.format));
            if (!port_->open(QIODevice::ReadWrite)) return nextPort();
            portClock_.start();
            return apply(core_.reopened(now()));
        }
        apply(step);
    });
    emit progress(QStringLiteral("%1 : lecture de la pesée").arg(reading.port), total(), total());
    reader_->read();
}

void ScaleSearch::noWeight(const QString& why) {
    result_.settings = {};
    result_.noWeight << QStringLiteral("%1, %2 : %3").arg(ports_[portIndex_].name, lineText(core_.line()), why);
}

void ScaleSearch::found(const Weighing& shown) {
    result_.settings = settingsFound();
    result_.found = true;
    result_.moving = movingMass(shown);
    result_.shown = result_.moving ? QString::fromUtf8(kMoving) : QString::fromStdString(shown.weight + ' ' + shown.unit);
    result_.mended = fileProblems(true);
    finish();
}

void ScaleSearch::finish() {
    searching_ = false;
    emit over(result_);
}

}  // namespace pesolane
