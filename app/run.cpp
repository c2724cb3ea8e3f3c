#include "run.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "application.h"
#include "form1.h"
#include "link.h"
#include "scale_reading.h"
#include "search_command.h"
#include "search_dialog.h"
#include "settings.h"
#include "steps.h"

namespace pesolane {
namespace {

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
        "                          elle limitent la recherche\n");
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
        "\n"
        "Recherche (--chercher) : sur chaque port, les réglages déjà donnés, puis\n"
        "ceux des fabricants, puis chaque vitesse (1200 à 115200) et chaque format\n"
        "(8N1, 7E1, 7O1, 8E1, 8O1) ; à chacun, écoute, puis ces seules questions :\n"
        "SI CR LF, ESC P CR LF, IP CR LF, LF W CR, W CR, READ CR LF, G CR LF, ENQ\n"
        "(suivi de CR LF). Rien qui tare, remet à zéro ou éteint. Un instrument de\n"
        "pesage réglé comme en usine est trouvé en quelques secondes ; un port\n"
        "muet est parcouru en 2 min 20 s environ. Pour un instrument qui n'envoie\n"
        "que sur sa touche d'impression, appuyez dessus pendant la recherche.\n"
        "Ctrl-C l'arrête sans rien écrire. État de sortie : 0 trouvé et écrit,\n"
        "1 rien trouvé, 130 arrêtée.\n"
        "\n"
        "Exemples de commandes (envoyé) :\n"
        "  --commande S                             S CR LF\n"
        "  --commande '\\eP' --fin-commande aucune   ESC P\n"
        "  --commande '\\x05' --fin-commande aucune  ENQ\n"
        "  --commande '\\nW' --fin-commande cr       LF W CR\n"
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

// Parses the command line: the program's own options, and Qt's standard
// ones, which QApplication takes later. Any other option or argument is a
// wrong command line: prints the error and the usage and returns false.
struct CommandLine {
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")}};
    QCommandLineOption readWeight{QStringLiteral("lire-poids")};
    QCommandLineOption search{QStringLiteral("chercher")};
    QCommandLineParser parser;
    ScaleSettings scale;
    QStringList given;  // the settings given as options

    bool parse(const QStringList& arguments) {
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOption(help);
        parser.addOption(version);
        parser.addOption(readWeight);
        parser.addOption(search);
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
        } else if (!parser.positionalArguments().isEmpty() && !parser.isSet(search)) {
            error = QStringLiteral("argument inattendu : %1").arg(parser.positionalArguments().constFirst());
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
        if (error.isEmpty()) return true;
        print(stderr, QStringLiteral("pesolane : ") + error + '\n');
        print(stderr, usage());
        return false;
    }
};

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
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);

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
    new ScaleReading(form, link);
    new SearchDialog(form, link);
    form.show();
    return QApplication::exec();
}

}  // namespace pesolane
