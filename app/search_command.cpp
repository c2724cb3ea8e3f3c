#include "search_command.h"

#include <QCoreApplication>
#include <QSerialPortInfo>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace pesolane {
namespace {

void print(std::FILE* to, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fflush(to);
}

PortChoice named(const QString& name) {
    PortChoice p{name, {}, name.startsWith(QLatin1String("/dev/hidraw"))};
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        if (info.systemLocation() == name) p.description = info.description();
    return p;
}

int interrupted[2] = {-1, -1};  // Ctrl-C, told to the event loop through a pipe

void onInterrupt(int) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(interrupted[1], &c, 1);
}

}  // namespace

SearchRequest searchRequest(const ScaleSettings& settings, const QStringList& given, const QStringList& namedPorts) {
    SearchRequest r;
    r.base = settings;
    const bool hidOnly = given.contains(QStringLiteral("protocole")) && settings.hid;
    QStringList ports = namedPorts;
    if (given.contains(QStringLiteral("port"))) ports.prepend(settings.port);
    if (ports.isEmpty()) {
        r.ports = portsToSearch(settings.systemRoot);
        // The port set up first, even where the system lists it otherwise
        // (a link in /dev/serial/by-id) or not at all.
        if (!settings.port.isEmpty() && !settings.hid &&
            std::none_of(r.ports.begin(), r.ports.end(), [&](const PortChoice& p) { return p.name == settings.port; }))
            r.ports.prepend(named(settings.port));
    } else {
        for (const QString& p : ports) r.ports << named(p);
    }
    if (hidOnly) {
        // Said to be USB weighing devices: the ports named are read as such, the system's serial ports left out.
        if (!namedPorts.isEmpty() || given.contains(QStringLiteral("port")))
            for (PortChoice& p : r.ports) p.hid = true;
        r.ports.removeIf([](const PortChoice& p) { return !p.hid; });
    }

    // The settings file as the search will write it: its bad lines, every one.
    for (const ScaleSettings::Problem& p : settingsFromFile(settingsFilePath()).problems)
        r.scope.fileProblems.push_back(p.key.toStdString());

    // Options given narrow the search to them.
    if (given.contains(QStringLiteral("vitesse"))) r.scope.speeds = {settings.baud};
    if (given.contains(QStringLiteral("format"))) r.scope.formats = {settings.format.toStdString()};
    if (given.contains(QStringLiteral("protocole")) && !settings.hid) {
        r.scope.listen = settings.protocol != Protocol::Command;
        if (settings.protocol != Protocol::Command) r.scope.probes.clear();
    }
    const Probe own{(settings.command + settings.commandEnd).toStdString(), settings.commandText.toStdString(),
                    commandEndName(settings.commandEnd).toStdString(), settings.commandEnd.isEmpty() ? "\r\n" : "", {}, {}};
    if (given.contains(QStringLiteral("commande"))) {
        r.scope.probes = {own};
    } else if (given.contains(QStringLiteral("fin-commande"))) {
        r.scope.probes.erase(std::remove_if(r.scope.probes.begin(), r.scope.probes.end(),
                                            [&own](const Probe& p) { return p.end != own.end; }),
                             r.scope.probes.end());
    }

    // What the file or the options set up is tried first; its command only
    // as F9 would send it: never one the file holds cut or unread.
    const bool commandTold = std::any_of(settings.problems.begin(), settings.problems.end(), [](const ScaleSettings::Problem& p) {
        return p.key == QLatin1String("commande") || p.key == QLatin1String("fin-commande");
    });
    if (!settings.port.isEmpty() || !given.isEmpty()) {
        Trial known{{settings.baud, settings.format.toStdString()}, -1};
        if (settings.protocol == Protocol::Command && !r.scope.probes.empty() && !commandTold) {
            const auto at = std::find_if(r.scope.probes.begin(), r.scope.probes.end(),
                                         [&own](const Probe& p) { return p.sent == own.sent; });
            if (at == r.scope.probes.end()) {
                r.scope.probes.insert(r.scope.probes.begin(), own);
                known.probe = 0;
            } else {
                known.probe = int(at - r.scope.probes.begin());
            }
        }
        r.known = known;
    }
    return r;
}

int searchFromCommandLine(int argc, char** argv, const SearchRequest& request) {
    QCoreApplication app(argc, argv);
    if (request.ports.isEmpty()) {
        print(stderr, QStringLiteral("pesolane : aucun port série ni instrument de pesage USB sur ce système : "
                                     "branchez l'instrument de pesage, ou nommez son port.\n"));
        return 1;
    }
    ScaleSearch search(request.ports, request.scope, request.known, request.base);
    const bool terminal = ::isatty(STDERR_FILENO);
    print(stderr, QStringLiteral("Recherche de l'instrument de pesage sur %1 :\n")
                      .arg([&] {
                          QStringList names;
                          for (const PortChoice& p : request.ports)
                              names << (p.description.isEmpty() ? p.name : QStringLiteral("%1 (%2)").arg(p.name, p.description));
                          return names.join(QStringLiteral(", "));
                      }()));
    QObject::connect(&search, &ScaleSearch::progress, &app, [terminal](const QString& what, int done, int total) {
        const QString line = QStringLiteral("[%1/%2] %3").arg(done).arg(total).arg(what);
        print(stderr, terminal ? QStringLiteral("\r\033[K") + line : line + QLatin1Char('\n'));
    });
    QObject::connect(&search, &ScaleSearch::portRefused, &app, [terminal](const QString&, const QString& why) {
        print(stderr, (terminal ? QStringLiteral("\r\033[K") : QString()) + why + QLatin1Char('\n'));
    });
    int status = 1;
    QObject::connect(&search, &ScaleSearch::over, &app, [&](const SearchResult& r) {
        if (terminal) print(stderr, QStringLiteral("\r\033[K"));
        if (!r.unusable.isEmpty()) {
            print(stderr, QStringLiteral("pesolane : le fichier des réglages a une ligne fausse, que la recherche ne remplace pas "
                                         "et qui empêcherait de lire la pesée : %1 Corrigez-la, puis recommencez la "
                                         "recherche. Le fichier des réglages n'a pas été modifié.\n").arg(r.unusable));
            return QCoreApplication::exit(1);
        }
        if (!r.found) {
            QStringList settingsTried;
            for (int b : request.scope.speeds) settingsTried << QString::number(b);
            QStringList formats;
            for (const std::string& f : request.scope.formats) formats << QString::fromStdString(f);
            QStringList probes;
            for (const Probe& p : request.scope.probes) probes << QString::fromStdString(spelled(p.sent));
            QString text = QStringLiteral("pesolane : aucun instrument de pesage trouvé. Essayé en %1 essais : "
                                          "vitesses %2 ; formats %3 ; %4%5.\n")
                               .arg(r.trials)
                               .arg(settingsTried.join(QStringLiteral(", ")), formats.join(QStringLiteral(", ")),
                                    request.scope.listen ? QStringLiteral("écoute, ") : QString(),
                                    probes.isEmpty() ? QStringLiteral("aucune question")
                                                     : QStringLiteral("questions ") + probes.join(QStringLiteral(" ; ")));
            for (const QString& heard : r.noWeight)
                text += QStringLiteral("Un appareil parle sans donner de pesée stable en masse, sur %1\n").arg(heard);
            for (const QString& at : r.answeredOtherwise)
                text += QStringLiteral("Sur %1, un appareil répond « commande inconnue » à toutes les questions : "
                                       "donnez sa commande de pesée avec --commande.\n").arg(at);
            text += QStringLiteral(
                "Causes possibles : l'instrument de pesage est éteint ; le câble est débranché ou n'est pas le bon "
                "(un câble croisé, dit null modem, est parfois nécessaire) ; un instrument qui n'envoie sa pesée que "
                "sur sa touche d'impression : appuyez dessus pendant la recherche. Le fichier des réglages n'a pas "
                "été modifié.\n");
            print(stderr, text);
            return QCoreApplication::exit(1);
        }
        QString out = QStringLiteral("Instrument de pesage trouvé sur %1.\n[pesage]\n").arg(r.settings.port);
        out += settingLines(r.settings).join(QLatin1Char('\n')) + QLatin1Char('\n');
        out += QStringLiteral("Pesée affichée : %1\n").arg(r.shown);
        print(stdout, out);
        const QString path = settingsFilePath();
        const QString wrong = saveSettings(path, r.settings);
        if (!wrong.isEmpty()) {
            print(stderr, QStringLiteral("pesolane : ") + wrong + QLatin1Char('\n'));
            return QCoreApplication::exit(1);
        }
        for (const QString& line : r.mended)
            print(stdout, QStringLiteral("Ligne fausse remplacée dans le fichier des réglages : %1\n").arg(line));
        print(stdout, QStringLiteral("Réglages écrits dans %1 ; pesolane --lire-poids lit la pesée.\n").arg(path));
        status = 0;
        QCoreApplication::exit(0);
    });

    // Ctrl-C stops the search between two events: the port closed, nothing written.
    if (::pipe2(interrupted, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
    QSocketNotifier stop(interrupted[0], QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, &app, [&] {
        search.cancel();
        print(stderr, QStringLiteral("%1Recherche interrompue : le fichier des réglages n'a pas été modifié.\n")
                          .arg(terminal ? QStringLiteral("\r\033[K") : QString()));
        QCoreApplication::exit(130);
    });
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    QTimer::singleShot(0, &search, &ScaleSearch::start);
    const int code = QCoreApplication::exec();
    return code == 130 ? 130 : code == 0 ? status : code;
}

}  // namespace pesolane
