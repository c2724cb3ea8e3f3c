#include "settings.h"

#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace pesolane {
namespace {

constexpr std::array<SettingSpec, 6> kSettings{{
    {"port", "PORT", "port série de l'instrument de pesage\n(/dev/ttyUSB0, /dev/ttyACM0...)"},
    {"vitesse", "BAUDS", "vitesse de la liaison, en bauds (9600 par défaut)"},
    {"format", "FORMAT", "bits de données, parité, bits d'arrêt :\n8N1 (par défaut), 7E1 ou 7O1"},
    {"protocole", "PROTOCOLE", "commande (par défaut : le programme demande\nla pesée) ou continu (l'instrument de pesage\nenvoie ses pesées de lui-même)"},
    {"commande", "TEXTE", "commande qui demande une pesée stable (S par défaut)"},
    {"delai", "SECONDES", "délai d'attente d'une pesée stable,\nen secondes (10 par défaut)"},
}};

constexpr int kBauds[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

QString invalid(const char* what, const QString& value, const char* expected) {
    return QStringLiteral("%1 invalide : %2 (attendu : %3)").arg(QString::fromUtf8(what), value, QString::fromUtf8(expected));
}

bool printable(const QString& s) {
    for (QChar c : s)
        if (c.unicode() < 0x21 || c.unicode() > 0x7E) return false;
    return true;
}

}  // namespace

const std::array<SettingSpec, 6>& scaleSettingTable() { return kSettings; }

QString applySetting(ScaleSettings& s, const QString& key, const QString& value) {
    const QString v = value.trimmed();
    if (key == QLatin1String("port")) {
        if (v.isEmpty()) return invalid("port", value, "le chemin du port série");
        s.port = v;
    } else if (key == QLatin1String("vitesse")) {
        bool ok = false;
        const int baud = v.toInt(&ok);
        if (!ok || std::find(std::begin(kBauds), std::end(kBauds), baud) == std::end(kBauds))
            return invalid("vitesse", value, "300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600 ou 115200");
        s.baud = baud;
    } else if (key == QLatin1String("format")) {
        const QString f = v.toUpper();
        if (f != QLatin1String("8N1") && f != QLatin1String("7E1") && f != QLatin1String("7O1"))
            return invalid("format", value, "8N1, 7E1 ou 7O1");
        s.format = f;
    } else if (key == QLatin1String("protocole")) {
        if (v == QLatin1String("commande"))
            s.protocol = Protocol::Command;
        else if (v == QLatin1String("continu"))
            s.protocol = Protocol::Continuous;
        else
            return invalid("protocole", value, "commande ou continu");
    } else if (key == QLatin1String("commande")) {
        if (v.isEmpty() || v.size() > 16 || !printable(v))
            return invalid("commande", value, "de 1 à 16 caractères imprimables, sans espace");
        s.command = v.toLatin1();
    } else if (key == QLatin1String("delai")) {
        const QByteArray a = v.toLatin1();
        double seconds = 0;
        const auto [end, ec] = std::from_chars(a.constData(), a.constData() + a.size(), seconds);
        if (a.isEmpty() || ec != std::errc() || end != a.constData() + a.size() || !std::isfinite(seconds) ||
            !(seconds > 0) || !(seconds <= 600))
            return invalid("délai", value, "un nombre de secondes écrit avec un point, plus grand que 0 et au plus 600");
        s.seconds = seconds;
    } else {
        return QStringLiteral("réglage inconnu : %1").arg(key);
    }
    if (key == s.problemKey) {
        s.problem.clear();
        s.problemKey.clear();
    }
    return {};
}

QString settingsFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/pesolane/pesolane.conf");
}

ScaleSettings settingsFromFile(const QString& path) {
    ScaleSettings s;
    QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError) {
        s.problem = QStringLiteral("le fichier %1 est illisible.").arg(path);
        return s;
    }
    file.beginGroup(QStringLiteral("pesage"));
    for (const QString& key : file.childKeys()) {
        const QVariant value = file.value(key);
        // An unquoted comma makes a list of the value: it is taken back as written.
        const QString text = value.userType() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(','))
                                                                         : value.toString();
        const QString wrong = applySetting(s, key, text);
        if (!wrong.isEmpty() && s.problem.isEmpty()) {
            s.problem = QStringLiteral("dans %1, section [pesage] : %2.").arg(path, wrong);
            s.problemKey = key;
        }
    }
    return s;
}

}  // namespace pesolane
