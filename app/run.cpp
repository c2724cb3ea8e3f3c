#include "run.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <cstdlib>

#include "form1.h"
#include "steps.h"

namespace pesolane {
namespace {

constexpr const char* kUsage =
    "Utilisation : pesolane [OPTION]\n"
    "Compte un grand nombre de petites pièces identiques en les pesant.\n"
    "\n"
    "Options :\n"
    "  -h, --help     affiche cette aide et quitte\n"
    "  -v, --version  affiche la version et quitte\n"
    "\n"
    "Sans option, la fenêtre de comptage s'ouvre. Les options standard de Qt\n"
    "(-platform, -style, ...) sont acceptées.\n";

constexpr const char* kVersion = "pesolane 1.0\n";

// Exit statuses: 0 done, 1 no display to open the window on, 2 a wrong command line.
constexpr int kBadUsage = 2;
constexpr int kNoDisplay = 1;

void print(std::FILE* to, const QString& text) { std::fputs(text.toLocal8Bit().constData(), to); }

// Parses the command line: the program's own options, and Qt's standard
// ones, which QApplication takes later. Any other option or argument is a
// wrong command line: prints the error and the usage and returns false.
struct CommandLine {
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")}};
    QCommandLineParser parser;

    bool parse(const QStringList& arguments) {
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOption(help);
        parser.addOption(version);
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
        } else if (!parser.positionalArguments().isEmpty()) {
            error = QStringLiteral("argument inattendu : %1").arg(parser.positionalArguments().constFirst());
        }
        if (error.isEmpty()) return true;
        print(stderr, QStringLiteral("pesolane : ") + error + '\n');
        print(stderr, QString::fromUtf8(kUsage));
        return false;
    }
};

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
        print(stdout, QString::fromUtf8(kUsage));
        return 0;
    }
    if (line.parser.isSet(line.version)) {
        print(stdout, QString::fromUtf8(kVersion));
        return 0;
    }
    if (!hasDisplay(line.parser.isSet(QStringLiteral("platform")))) {
        print(stderr, QStringLiteral("pesolane : aucun affichage graphique (ni DISPLAY ni WAYLAND_DISPLAY n'est "
                                     "défini) ; lancez le programme depuis une session de bureau.\n"));
        return kNoDisplay;
    }

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.pesolane.Pesolane"));
    prepareApplication();
    Form1 form;
    bindSteps(form);
    form.show();
    return QApplication::exec();
}

}  // namespace pesolane
