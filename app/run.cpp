#include "run.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "application.h"
#include "form1.h"
#include "link.h"
#include "probes.h"
#include "record.h"
#include "recorder.h"
#include "labels.h"
#include "label_printer.h"
#include "label_settings.h"
#include "scale_reading.h"
#include "search_command.h"
#include "search_dialog.h"
#include "sending.h"
#include "server.h"
#include "settings.h"
#include "steps.h"

namespace pesolane {
namespace {

// The probes, as the search's table sends them: "SI CR LF, ..., ENQ (suivi de CR LF)".
QString probesSent() {
    QStringList sent;
    for (const Probe& p : probeTable())
        sent << QString::fromStdString(spelled(p.sent)) +
                    (p.clear.empty() ? QString() : QStringLiteral(" (suivi de %1)").arg(QString::fromStdString(spelled(p.clear))));
    return sent.join(QStringLiteral(", "));
}

// A paragraph in lines of at most 78 characters, never one that begins with
// the « : » or « ; » of the word before it, nor a CR LF cut in two.
QString wrapped(QString text) {
    const QChar glue(0x00A0);
    text.replace(QStringLiteral(" :"), QString(glue) + QLatin1Char(':')).replace(QStringLiteral(" ;"), QString(glue) + QLatin1Char(';'));
    text.replace(QStringLiteral("CR LF"), QStringLiteral("CR") + glue + QStringLiteral("LF"));
    QString out, line;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > 78) out += line + QLatin1Char('\n'), line.clear();
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    out += line + QLatin1Char('\n');
    return out.replace(glue, QLatin1Char(' '));
}

// The usage, with one line or two for each setting of the scale.
QString usage() {
    QString u = QStringLiteral(
        "Utilisation : pesolane [OPTION]...\n"
        "Compte un grand nombre de petites pièces identiques en les pesant.\n"
        "\n"
        "Options :\n"
        "  -h, --help              affiche cette aide et quitte\n"
        "  -v, --version           affiche la version et quitte\n"
        "  --lire-poids            lit une pesée sur l'instrument de pesage, l'écrit\n"
        "                          (le poids, une espace, l'unité) et quitte, sans fenêtre\n"
        "  --chercher [PORT]...    cherche l'instrument de pesage sur les ports nommés\n"
        "                          (sans port : sur tous), écrit ses réglages dans\n"
        "                          la section [pesage] du fichier et quitte ; les\n"
        "                          options de l'instrument de pesage données avec\n"
        "                          elle limitent la recherche\n"
        "  --journal CHEMIN        enregistre chaque comptage (nombre final, lots)\n"
        "                          dans ce journal, créé au premier comptage ;\n"
        "                          l'emporte sur « fichier= » de la section [journal]\n"
        "  --article TEXTE         l'article compté, écrit dans le journal\n"
        "  --exporter [FICHIER]    écrit le journal en CSV (UTF-8, « ; », virgule\n"
        "                          décimale) dans FICHIER ou sur la sortie\n"
        "                          standard, et quitte, sans fenêtre\n"
        "  --depuis AAAA-MM-JJ     avec --exporter : les comptages de ce jour et après\n"
        "  --jusqu-a AAAA-MM-JJ    avec --exporter : les comptages de ce jour et avant\n"
        "  --etiquette N           imprime de nouveau l'étiquette du comptage N du\n"
        "                          journal, et quitte, sans fenêtre\n"
        "  --lot K                 avec --etiquette : celle de son lot K (1 : le premier)\n"
        "  --serveur CONNEXION     envoie aussi chaque comptage au serveur PostgreSQL\n"
        "                          du site (postgresql://... ou service=...) ;\n"
        "                          l'emporte sur « serveur= » de la section [journal]\n"
        "  --etat-journal          dit combien de comptages attendent d'être envoyés au\n"
        "                          serveur, et depuis quand, et quitte, sans fenêtre\n"
        "  --envoyer-journal       envoie au serveur ce qui attend, et quitte\n"
        "  --preparer-serveur      crée sur le serveur les tables, les garde-fous et\n"
        "                          les rôles du journal du site, et quitte\n"
        "  --poste NOM             avec --exporter --serveur : les comptages de ce\n"
        "                          poste seulement\n");
    for (const LabelSettingSpec& s : labelSettingTable()) {
        const QString head = QStringLiteral("  --%1 %2").arg(QString::fromUtf8(s.option), QString::fromUtf8(s.valueName));
        const QStringList help = QString::fromUtf8(s.help).split(QLatin1Char('\n'));
        u += (head.size() < 26 ? head.leftJustified(26) : head + QLatin1Char('\n') + QString(26, QLatin1Char(' '))) +
             help[0] + QLatin1Char('\n');
        for (qsizetype i = 1; i < help.size(); ++i) u += QString(26, QLatin1Char(' ')) + help[i] + QLatin1Char('\n');
    }
    for (const SettingSpec& s : scaleSettingTable()) {
        const QString head = QStringLiteral("  --%1 %2").arg(QString::fromUtf8(s.key), QString::fromUtf8(s.valueName));
        const QStringList help = QString::fromUtf8(s.help).split(QLatin1Char('\n'));
        u += head.leftJustified(26) + help[0] + QLatin1Char('\n');
        for (qsizetype i = 1; i < help.size(); ++i) u += QString(26, QLatin1Char(' ')) + help[i] + QLatin1Char('\n');
    }
    u += QStringLiteral(
        "\n"
        "Dans la fenêtre, la touche F9 d'une case de poids (poids total, poids réel\n"
        "d'un échantillon) y écrit la pesée de l'instrument de pesage.\n"
        "Les mêmes réglages (port, vitesse, format, protocole, commande,\n"
        "fin-commande, delai) se placent dans la section [pesage] de\n"
        "~/.config/pesolane/pesolane.conf ; une option l'emporte sur le fichier.\n"
        "Dans le fichier, un « ; » de la commande s'écrit \\x3B, ou la commande\n"
        "entière se met entre guillemets (commande=\"P;X\").\n"
        "\n"
        "Instrument de pesage USB HID (/dev/hidraw*) : sans port configuré, F9 lit\n"
        "celui qui est branché s'il est le seul ; --port /dev/hidraw0 le désigne ;\n"
        "--protocole hid lit comme tel un nœud placé ailleurs. L'accès est donné\n"
        "par la règle udev du paquet aux instruments de pesage USB qu'elle nomme.\n"
        "\n");
    u += wrapped(QStringLiteral(
                     "Recherche (--chercher) : sur chaque port, les réglages déjà donnés, puis ceux des fabricants, "
                     "puis chaque vitesse (1200 à 115200) et chaque format (8N1, 7E1, 7O1, 8E1, 8O1) ; à chacun, "
                     "écoute, puis ces seules questions : %1. Rien qui tare, remet à zéro ou éteint. Un instrument "
                     "de pesage réglé comme en usine est trouvé en quelques secondes ; un port muet est parcouru en "
                     "2 min 20 s environ. Pour un instrument qui n'envoie que sur sa touche d'impression, appuyez "
                     "dessus pendant la recherche. Ctrl-C l'arrête sans rien écrire. État de sortie : 0 trouvé et "
                     "écrit, 1 rien trouvé, 130 arrêtée.")
                     .arg(probesSent()));
    u += QStringLiteral(
        "\n"
        "Exemples de commandes (envoyé) :\n"
        "  --commande S                             S CR LF\n"
        "  --commande '\\eP' --fin-commande aucune   ESC P\n"
        "  --commande '\\x05' --fin-commande aucune  ENQ\n"
        "  --commande '\\nW' --fin-commande cr       LF W CR\n"
        "\n"
        "Journal des comptages : sans --journal ni « fichier= » dans la section\n"
        "[journal] du même fichier, rien n'est enregistré ni créé. Chaque comptage\n"
        "est enregistré avant que son résultat ne s'affiche. Dans le fichier, un\n"
        "chemin qui contient « ; » s'écrit entre guillemets (fichier=\"a;b.db\").\n"
        "--exporter : état de sortie 0 écrit, 1 journal illisible ou fichier\n"
        "impossible à écrire. Avec --serveur, il écrit le journal du site.\n"
        "\n"
        "Serveur du site : chaque comptage est d'abord enregistré dans le journal du\n"
        "poste (sans « fichier= » : ~/.local/share/pesolane/journal.sqlite), puis\n"
        "envoyé, une seule fois, sans que la fenêtre attende. Le mot de passe n'est\n"
        "jamais dans le fichier de réglages : ~/.pgpass ou ~/.pg_service.conf.\n"
        "--etat-journal et --envoyer-journal : état de sortie 0 rien n'attend,\n"
        "1 des comptages attendent, 2 le serveur refuse.\n"
        "\n"
        "Étiquettes : dans la fenêtre, F2 nomme l'article des comptages qui\n"
        "suivent ; Ctrl+P imprime l'étiquette du dernier résultat affiché (nombre\n"
        "final ou dernier lot). Les réglages (imprimante, format, automatique) se\n"
        "placent aussi dans la section [etiquette] du fichier. --etiquette : état\n"
        "de sortie 0 envoyée à l'imprimante, 1 non imprimée.\n"
        "\n"
        "Sans option, la fenêtre de comptage s'ouvre. Les options standard de Qt\n"
        "(-platform, -style, ...) sont acceptées.\n");
    return u;
}

constexpr const char* kVersion = "pesolane 1.0\n";

// Exit statuses: 0 done, 1 no display to open the window on or no weight
// read, 2 a wrong command line.
constexpr int kBadUsage = 2;
constexpr int kNoDisplay = 1;
constexpr int kNoWeight = 1;

void print(std::FILE* to, const QString& text) { std::fputs(text.toLocal8Bit().constData(), to); }

// An argument as text, each byte that is not part of a UTF-8 character kept
// as a lone surrogate (U+DC80 to U+DCFF, which no UTF-8 text decodes to): a
// path's bytes come back whole from its text, by argumentBytes.
QString argumentText(const char* argument) {
    const auto* b = reinterpret_cast<const unsigned char*>(argument);
    const std::size_t n = std::strlen(argument);
    QString text;
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = b[i];
        const std::size_t length = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        char32_t code = length == 1 ? c : c & (0x7F >> length);
        bool whole = length > 0 && i + length <= n;
        for (std::size_t k = 1; whole && k < length; ++k) {
            whole = (b[i + k] & 0xC0) == 0x80;
            code = code << 6 | (b[i + k] & 0x3F);
        }
        // Neither written longer than needed, nor a surrogate, nor beyond U+10FFFF.
        whole = whole && !(length == 3 && code < 0x800) && !(length == 4 && (code < 0x10000 || code > 0x10FFFF)) &&
                !(code >= 0xD800 && code <= 0xDFFF);
        if (!whole) {
            text += QChar(char16_t(0xDC00 + c));
            ++i;
            continue;
        }
        text += QString::fromUcs4(&code, 1);
        i += length;
    }
    return text;
}

QByteArray argumentBytes(const QString& text) {
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            bytes += text.mid(i++, 2).toUtf8();
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            bytes += char(u - 0xDC00);
        } else {
            bytes += QString(text[i]).toUtf8();
        }
    }
    return bytes;
}

// Parses the command line: the program's own options, and Qt's standard
// ones, which QApplication takes later. Any other option or argument is a
// wrong command line: prints the error and the usage and returns false.
struct CommandLine {
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")}};
    QCommandLineOption readWeight{QStringLiteral("lire-poids")};
    QCommandLineOption search{QStringLiteral("chercher")};
    QCommandLineOption journal{QString::fromUtf8(journalSettingTable()[0].option), QString(),
                               QString::fromUtf8(journalSettingTable()[0].valueName)};
    QCommandLineOption article{QStringLiteral("article"), QString(), QStringLiteral("TEXTE")};
    QCommandLineOption exporter{QStringLiteral("exporter")};
    QCommandLineOption since{QStringLiteral("depuis"), QString(), QStringLiteral("AAAA-MM-JJ")};
    QCommandLineOption until{QStringLiteral("jusqu-a"), QString(), QStringLiteral("AAAA-MM-JJ")};
    QCommandLineOption reprint{QStringLiteral("etiquette"), QString(), QStringLiteral("N")};
    QCommandLineOption lot{QStringLiteral("lot"), QString(), QStringLiteral("K")};
    QCommandLineOption server{QString::fromUtf8(journalSettingTable()[1].option), QString(),
                              QString::fromUtf8(journalSettingTable()[1].valueName)};
    QCommandLineOption state{QStringLiteral("etat-journal")};
    QCommandLineOption send{QStringLiteral("envoyer-journal")};
    QCommandLineOption prepare{QStringLiteral("preparer-serveur")};
    QCommandLineOption station{QStringLiteral("poste"), QString(), QStringLiteral("NOM")};
    QCommandLineParser parser;
    ScaleSettings scale;
    JournalSettings record;
    LabelSettings label;
    QStringList given;  // the settings given as options
    bool defaultFile = false;  // the record's path is the usual one, beside a server

    bool parse(const QStringList& arguments) {
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOption(help);
        parser.addOption(version);
        parser.addOption(readWeight);
        parser.addOption(search);
        for (const QCommandLineOption* o : {&journal, &article, &exporter, &since, &until, &reprint, &lot, &server, &state,
                                            &send, &prepare, &station})
            parser.addOption(*o);
        for (const LabelSettingSpec& s : labelSettingTable())
            parser.addOption(QCommandLineOption(QString::fromUtf8(s.option), QString(), QString::fromUtf8(s.valueName)));
        for (const SettingSpec& s : scaleSettingTable())
            parser.addOption(QCommandLineOption(QString::fromUtf8(s.key), QString(), QString::fromUtf8(s.valueName)));
        for (const char* name : {"platform", "platformpluginpath", "platformtheme", "plugin", "qmljsdebugger",
                                 "qwindowgeometry", "qwindowicon", "qwindowtitle", "session", "display", "geometry",
                                 "name", "title", "icon", "visual", "dialogs", "style", "stylesheet"})
            parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("valeur")));
        for (const char* name : {"reverse", "widgetcount", "nograb", "dograb", "sync"})
            parser.addOption(QCommandLineOption(QString::fromLatin1(name)));

        const bool parsed = parser.parse(arguments);
        if (parser.isSet(help) || parser.isSet(version)) return true;
        QString error;
        if (!parser.unknownOptionNames().isEmpty()) {
            const QString name = parser.unknownOptionNames().constFirst();
            error = QStringLiteral("option inconnue : %1%2").arg(name.size() == 1 ? "-" : "--", name);
        } else if (!parsed) {
            error = QStringLiteral("il manque la valeur d'une option");
        } else if (const qsizetype allowed = parser.isSet(search) ? -1 : parser.isSet(exporter) ? 1 : 0;
                   allowed >= 0 && parser.positionalArguments().size() > allowed) {
            error = QStringLiteral("argument inattendu : %1").arg(parser.positionalArguments().at(allowed));
        }
        bool whole = false;
        if (error.isEmpty() && parser.isSet(reprint) && (parser.value(reprint).toLongLong(&whole) < 1 || !whole))
            error = QStringLiteral("numéro de comptage invalide : %1 (attendu : un nombre entier à partir de 1)")
                        .arg(parser.value(reprint));
        if (error.isEmpty() && parser.isSet(lot) && !parser.isSet(reprint))
            error = QStringLiteral("--lot ne s'emploie qu'avec --etiquette");
        else if (error.isEmpty() && parser.isSet(lot) && (parser.value(lot).toInt(&whole) < 1 || !whole))
            error = QStringLiteral("numéro de lot invalide : %1 (attendu : un nombre entier à partir de 1)")
                        .arg(parser.value(lot));
        for (const QCommandLineOption* o : {&since, &until}) {
            const QString name = o->names().constFirst(), value = parser.value(*o);
            if (!error.isEmpty() || !parser.isSet(*o)) continue;
            if (!parser.isSet(exporter))
                error = QStringLiteral("--%1 ne s'emploie qu'avec --exporter").arg(name);
            else if (value.size() != 10 || !QDate::fromString(value, QStringLiteral("yyyy-MM-dd")).isValid())
                error = QStringLiteral("date invalide : %1 (attendu : AAAA-MM-JJ, par exemple 2026-12-08)").arg(value);
        }
        // The settings file first; an option wins over it.
        scale = settingsFromFile(settingsFilePath());
        for (const SettingSpec& s : scaleSettingTable()) {
            const QString key = QString::fromUtf8(s.key);
            if (error.isEmpty() && parser.isSet(key)) {
                error = applySetting(scale, key, parser.value(key));
                given << key;
            }
        }
        if (error.isEmpty() && parser.isSet(station) && !(parser.isSet(exporter) && parser.isSet(server)))
            error = QStringLiteral("--poste ne s'emploie qu'avec --exporter --serveur");
        record = journalFromFile(settingsFilePath());
        if (error.isEmpty() && parser.isSet(journal)) {
            const QByteArray fromFile = record.server;
            record = {};  // the option wins over the file, and over what is wrong in it
            record.server = fromFile;
            error = journalSettingTable()[0].apply(record, argumentBytes(parser.value(journal)));
        }
        if (error.isEmpty() && parser.isSet(server))
            error = journalSettingTable()[1].apply(record, argumentBytes(parser.value(server)));
        // With a server and no file, the station's record is in its usual place.
        if (error.isEmpty() && record.file.isEmpty() && !record.server.isEmpty() && record.problems.isEmpty()) {
            const QByteArray data = qgetenv("XDG_DATA_HOME");
            record.file = (data.startsWith('/') ? data : QFile::encodeName(QDir::homePath()) + "/.local/share") +
                          "/pesolane/journal.sqlite";
            defaultFile = true;
        }
        for (const QCommandLineOption* o : {&state, &send, &prepare})
            if (error.isEmpty() && parser.isSet(*o) && record.server.isEmpty())
                error = QStringLiteral("--%1 : aucun serveur n'est configuré : indiquez-le avec --serveur CONNEXION, "
                                       "ou par « serveur= » dans la section [journal]")
                            .arg(o->names().constFirst());
        label = labelFromFile(settingsFilePath());
        for (const LabelSettingSpec& s : labelSettingTable()) {
            const QString option = QString::fromUtf8(s.option);
            if (error.isEmpty() && parser.isSet(option)) error = s.apply(label, parser.value(option).trimmed());
        }
        if (error.isEmpty() && !label.problems.isEmpty())
            error = QStringLiteral("dans %1, section [etiquette] : %2")
                        .arg(settingsFilePath(), label.problems.join(QStringLiteral(" ; ")));
        if (error.isEmpty()) return true;
        print(stderr, QStringLiteral("pesolane : ") + error + '\n');
        print(stderr, usage());
        return false;
    }
};

// What is wrong in the settings file for the record, when no option mends it.
QString journalProblem(const CommandLine& line) { return line.record.problems.join(QStringLiteral(" ; ")); }

// Writes the record as CSV to the file named, or to standard output; the
// record itself is only read.
int exportRecord(const CommandLine& line) {
    const QByteArray path = line.record.file;
    const bool site = line.parser.isSet(line.server);  // the site's server's, not this station's
    if (const QString problem = journalProblem(line); !problem.isEmpty() && !site) {
        print(stderr, QStringLiteral("pesolane : le journal des comptages n'est pas utilisable : %1 ; --journal CHEMIN "
                                     "l'emporte sur le fichier.\n").arg(problem));
        return 1;
    }
    if (path.isEmpty() && !site) {
        print(stderr, QStringLiteral("pesolane : aucun journal des comptages n'est configuré : indiquez-le avec "
                                     "--journal CHEMIN, ou par « fichier= » dans la section [journal] de %1.\n")
                          .arg(settingsFilePath()));
        return 1;
    }
    const std::string from = line.parser.value(line.since).toStdString(), to = line.parser.value(line.until).toStdString();
    std::string csv;
    if (!site) {
        if (const std::string failed = exportCsv(path.toStdString(), from, to, csv); !failed.empty()) {
            std::fputs(("pesolane : " + failed + ".\n").c_str(), stderr);  // the path's bytes as they are
            return 1;
        }
    }
    // The server's rows are written as they come, never all held at once.
    const auto exported = [&](const std::function<bool(const std::string&)>& write) {
        if (!site) return write(csv) ? std::string() : std::string("l'export n'a pas pu être écrit");
        const std::string failed = exportServerCsv(line.record.server.toStdString(), line.parser.value(line.station).toStdString(),
                                                   from, to, write);
        return failed.empty() ? failed : "le journal du site n'a pas été exporté : " + failed;
    };
    const QStringList target = line.parser.positionalArguments();
    if (target.isEmpty()) {
        bool written = true;
        const std::string failed = exported([&written](const std::string& chunk) {
            return written = std::fwrite(chunk.data(), 1, chunk.size(), stdout) == chunk.size() && std::fflush(stdout) == 0;
        });
        if (!written) print(stderr, QStringLiteral("pesolane : la sortie standard ne s'écrit pas.\n"));
        else if (!failed.empty()) std::fputs(("pesolane : " + failed + ".\n").c_str(), stderr);
        return written && failed.empty() ? 0 : 1;
    }
    const QString name = target.constFirst();
    if (argumentBytes(name) != name.toUtf8()) {
        print(stderr, QStringLiteral("pesolane : le nom du fichier %1 n'est pas écrit en UTF-8 : choisissez-en un autre.\n").arg(name));
        return 1;
    }
    // The same file under any name (./, a link): the record is not written over.
    struct stat out {}, record {};
    if (::stat(QFile::encodeName(name).constData(), &out) == 0 && ::stat(path.constData(), &record) == 0 &&
        out.st_dev == record.st_dev && out.st_ino == record.st_ino) {
        print(stderr, QStringLiteral("pesolane : %1 est le journal lui-même : choisissez un autre fichier.\n").arg(name));
        return 1;
    }
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly)) {
        print(stderr, QStringLiteral("pesolane : le fichier %1 ne s'écrit pas : %2.\n").arg(name, file.errorString()));
        return 1;
    }
    const std::string failed = exported([&file](const std::string& chunk) {
        return file.write(chunk.data(), qint64(chunk.size())) == qint64(chunk.size());
    });
    if (!failed.empty() && file.error() == QFileDevice::NoError) {
        file.cancelWriting();
        std::fputs(("pesolane : " + failed + ".\n").c_str(), stderr);
        return 1;
    }
    if (!failed.empty() || !file.commit()) {
        print(stderr, QStringLiteral("pesolane : le fichier %1 ne s'écrit pas : %2.\n").arg(name, file.errorString()));
        return 1;
    }
    return 0;
}

// Reads one weight without a window: how whoever connects a scale checks the link.
int readOneWeight(int argc, char** argv, const ScaleSettings& settings) {
    QCoreApplication app(argc, argv);
    ScaleLink link(settings);
    int status = kNoWeight;
    QObject::connect(&link, &ScaleLink::finished, &app, [&status, &link](const Weighing& outcome) {
        if (outcome.failure == Failure::None) {
            print(stdout, QString::fromStdString(outcome.weight + ' ' + outcome.unit + '\n'));
            status = 0;
        } else {
            print(stderr, QStringLiteral("pesolane : ") + link.message(outcome) + QLatin1Char('\n'));
        }
        QCoreApplication::quit();
    });
    QTimer::singleShot(0, &link, &ScaleLink::read);
    QCoreApplication::exec();
    return status;
}

// Prints counting N's label (or its lot K) from the record again, without a
// window: 0 sent to the queue, 1 not.
int reprintLabel(int argc, char** argv, const CommandLine& line) {
    const QByteArray path = line.record.file;
    if (const QString problem = journalProblem(line); !problem.isEmpty() || path.isEmpty()) {
        print(stderr, problem.isEmpty() ? QStringLiteral("pesolane : aucun journal des comptages n'est configuré : "
                                                         "indiquez-le avec --journal CHEMIN.\n")
                                        : QStringLiteral("pesolane : le journal des comptages n'est pas utilisable : %1.\n")
                                              .arg(problem));
        return 1;
    }
    RecordedCounting c;
    if (const std::string failed = readCounting(path.toStdString(), line.parser.value(line.reprint).toLongLong(), c);
        !failed.empty()) {
        std::fputs(("pesolane : " + failed + ".\n").c_str(), stderr);
        return 1;
    }
    LabelContent label{c.article, c.count, c.incertitude, std::nullopt, c.date, c.station, c.operatorName, c.number};
    if (line.parser.isSet(line.lot)) {
        const int k = line.parser.value(line.lot).toInt();
        if (k > int(c.lots.size())) {
            print(stderr, QStringLiteral("pesolane : le comptage n° %1 n'a pas de lot n° %2.\n").arg(c.number).arg(k));
            return 1;
        }
        const LotEntry& lot = c.lots[std::size_t(k - 1)];
        label.lot = LabelLot{k, decimalComma(lot.NbVoulu), lot.PdsNbVoulu, c.unit, lot.Incert3};
    }
    // The page is drawn with the desktop's fonts, on a screen or not.
    if (!hasDisplay(false)) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString failure = printLabelNow(label, line.label);
    if (!failure.isEmpty()) {
        print(stderr, QStringLiteral("pesolane : l'étiquette n'a pas été imprimée : %1.\n").arg(failure));
        return 1;
    }
    return 0;
}

// "3 comptages et 1 lot", "1 comptage", "aucun comptage ni lot".
QString countsText(std::int64_t countings, std::int64_t lots) {
    const auto n = [](std::int64_t k, const char* one, const char* many) {
        return QStringLiteral("%1 %2").arg(k).arg(QString::fromUtf8(k > 1 ? many : one));
    };
    if (countings == 0 && lots == 0) return QStringLiteral("aucun comptage ni lot");
    if (lots == 0) return n(countings, "comptage", "comptages");
    if (countings == 0) return n(lots, "lot", "lots");
    return n(countings, "comptage", "comptages") + QStringLiteral(" et ") + n(lots, "lot", "lots");
}

bool recordUsable(const CommandLine& line) {
    if (const QString problem = journalProblem(line); !problem.isEmpty()) {
        print(stderr, QStringLiteral("pesolane : le journal des comptages n'est pas utilisable : %1.\n").arg(problem));
        return false;
    }
    return true;
}

// How many countings wait to be sent, since when, and whether the server
// would take them: 0 none waits, 1 some do, 2 the server refuses.
int recordState(const CommandLine& line) {
    if (!recordUsable(line)) return 2;
    const std::string path = line.record.file.toStdString();
    Waiting waiting;
    if (const std::string failed = waitingIn(path, waiting); !failed.empty()) {
        std::fputs(("pesolane : " + failed + ".\n").c_str(), stderr);
        return 2;
    }
    const std::int64_t total = waiting.countings + waiting.lots;
    if (total == 0) print(stdout, QStringLiteral("Rien n'attend d'être envoyé au serveur.\n"));
    else
        print(stdout, QStringLiteral("%1 %2 d'être %3 au serveur, depuis le %4.\n")
                          .arg(countsText(waiting.countings, waiting.lots), total > 1 ? "attendent" : "attend",
                               total > 1 ? "envoyés" : "envoyé", QString::fromStdString(waiting.since)));
    const SendOutcome server = checkServer(line.record.server.toStdString());
    if (server.status == ServerStatus::Done) print(stdout, QStringLiteral("Le serveur répond et prend les comptages de ce poste.\n"));
    else print(stdout, QString::fromStdString(server.problem) + QStringLiteral(".\n"));
    if (server.status == ServerStatus::Refused) return 2;
    return total > 0 ? 1 : 0;
}

// Sends what waits, now: 0 all sent, 1 some still wait, 2 the server refuses.
int sendRecord(const CommandLine& line) {
    if (!recordUsable(line)) return 2;
    const SendOutcome o = sendWaiting(line.record.file.toStdString(), line.record.server.toStdString());
    print(stdout, QStringLiteral("Envoyés au serveur : %1.\n").arg(countsText(o.countings, o.lots)));
    if (o.status == ServerStatus::Done) return 0;
    std::fputs(("pesolane : " + o.problem + ".\n").c_str(), stderr);
    return o.status == ServerStatus::Refused ? 2 : 1;
}

int prepareSiteServer(const CommandLine& line) {
    bool already = false;
    if (const std::string failed = prepareServer(line.record.server.toStdString(), already); !failed.empty()) {
        std::fputs(("pesolane : " + failed + ".\n").c_str(), stderr);
        return 1;
    }
    print(stdout, already ? QStringLiteral("Le serveur était déjà prêt : rien n'a changé.\n")
                          : QStringLiteral("Le serveur est prêt : schéma pesolane, rôles pesolane_poste (les postes) "
                                           "et pesolane_stock (la gestion des stocks).\n"));
    return 0;
}

}  // namespace

bool hasDisplay(bool platformOption) {
    if (platformOption) return true;
    for (const char* var : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(var);
        if (value && *value) return true;
    }
    return false;
}

int runPesolane(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << argumentText(argv[i]);

    // The command line is answered before any display is needed.
    CommandLine line;
    if (!line.parse(arguments)) return kBadUsage;
    if (line.parser.isSet(line.help)) {
        print(stdout, usage());
        return 0;
    }
    if (line.parser.isSet(line.version)) {
        print(stdout, QString::fromUtf8(kVersion));
        return 0;
    }
    if (line.parser.isSet(line.exporter)) return exportRecord(line);
    if (line.parser.isSet(line.prepare)) return prepareSiteServer(line);
    if (line.parser.isSet(line.state)) return recordState(line);
    if (line.parser.isSet(line.send)) return sendRecord(line);
    if (line.parser.isSet(line.reprint)) return reprintLabel(argc, argv, line);
    if (line.parser.isSet(line.readWeight)) return readOneWeight(argc, argv, line.scale);
    if (line.parser.isSet(line.search))
        return searchFromCommandLine(argc, argv, searchRequest(line.scale, line.given, line.parser.positionalArguments()));
    if (!hasDisplay(line.parser.isSet(QStringLiteral("platform")))) {
        print(stderr, QStringLiteral("pesolane : aucun affichage graphique (ni DISPLAY ni WAYLAND_DISPLAY n'est "
                                     "défini) ; lancez le programme depuis une session de bureau.\n"));
        return kNoDisplay;
    }

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.pesolane.Pesolane"));
    prepareApplication();
    ScaleLink link(line.scale);
    Form1 form;
    bindSteps(form);
    const auto* reading = new ScaleReading(form, link);
    Recorder* recorder = nullptr;
    if (!line.record.file.isEmpty() || !line.record.problems.isEmpty()) {
        // Told at once, here and in the window, and again at each result.
        if (const QString problem = journalProblem(line); !problem.isEmpty())
            print(stderr, QStringLiteral("pesolane : le journal des comptages n'est pas utilisable : %1 ; aucun "
                                         "comptage ne sera enregistré.\n").arg(problem));
        if (line.defaultFile) QDir().mkpath(QFileInfo(QFile::decodeName(line.record.file)).absolutePath());
        recorder = new Recorder(form, *reading, line.record.file.toStdString(), line.parser.value(line.article),
                                journalProblem(line));
        if (!line.record.server.isEmpty() && journalProblem(line).isEmpty())
            new Sending(form, line.record.file.toStdString(), line.record.server.toStdString());
    }
    new Labels(form, *reading, recorder, line.label, line.parser.value(line.article),
               journalProblem(line).isEmpty() ? QFile::decodeName(line.record.file) : QString());
    new SearchDialog(form, link);
    form.show();
    return QApplication::exec();
}

}  // namespace pesolane
