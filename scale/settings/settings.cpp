#include "settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "keys.h"

namespace pesolane {
namespace {

constexpr int kBauds[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

QString invalid(const char* what, const QString& value, const char* expected) {
    return QStringLiteral("%1 invalide : %2 (attendu : %3)").arg(QString::fromUtf8(what), value, QString::fromUtf8(expected));
}

int hexDigit(QChar c) {
    const char16_t u = c.unicode();
    return u >= '0' && u <= '9' ? u - '0' : u >= 'a' && u <= 'f' ? u - 'a' + 10 : u >= 'A' && u <= 'F' ? u - 'A' + 10 : -1;
}

QString setPort(ScaleSettings& s, const QString& v) {
    if (v.isEmpty()) return invalid("port", v, "le chemin du port série");
    s.port = v;
    return {};
}

QString setSpeed(ScaleSettings& s, const QString& v) {
    bool ok = false;
    const int baud = v.toInt(&ok);
    if (!ok || std::find(std::begin(kBauds), std::end(kBauds), baud) == std::end(kBauds))
        return invalid("vitesse", v, "300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600 ou 115200");
    s.baud = baud;
    return {};
}

QString setFormat(ScaleSettings& s, const QString& v) {
    const QString f = v.toUpper();
    if (f.size() != 3 || !QStringLiteral("78").contains(f[0]) || !QStringLiteral("NEO").contains(f[1]) ||
        !QStringLiteral("12").contains(f[2]))
        return invalid("format", v, "bits de données 7 ou 8, parité N, E ou O, bits d'arrêt 1 ou 2 : 8N1, 7E1, 8N2...");
    s.format = f;
    return {};
}

// The serial protocols and the command's ends, as the settings name them.
constexpr std::array<std::pair<const char*, Protocol>, 3> kProtocols{
    {{"commande", Protocol::Command}, {"continu", Protocol::Continuous}, {"impression", Protocol::Print}}};
constexpr std::array<std::pair<const char*, const char*>, 4> kEnds{
    {{"crlf", "\r\n"}, {"cr", "\r"}, {"lf", "\n"}, {"aucune", ""}}};

QString setProtocol(ScaleSettings& s, const QString& v) {
    const auto p = std::find_if(kProtocols.begin(), kProtocols.end(), [&v](auto& e) { return v == QLatin1String(e.first); });
    const bool hid = v == QLatin1String("hid");  // a USB weighing device: no serial protocol at all
    if (p == kProtocols.end() && !hid) return invalid("protocole", v, "commande, continu, impression ou hid");
    if (p != kProtocols.end()) s.protocol = p->second;
    s.hid = hid;
    return {};
}

QString setCommand(ScaleSettings& s, const QString& v) {
    const std::optional<QByteArray> bytes = commandBytes(v);
    if (!bytes)
        return invalid("commande", v, "de 1 à 16 octets : caractères imprimables sans espace, \\e, \\xHH, \\r, "
                                      "\\n, \\t ou \\\\");
    s.command = *bytes;
    s.commandText = v;
    return {};
}

QString setCommandEnd(ScaleSettings& s, const QString& v) {
    const auto end = std::find_if(kEnds.begin(), kEnds.end(), [&v](auto& e) { return v == QLatin1String(e.first); });
    if (end == kEnds.end()) return invalid("fin-commande", v, "crlf, cr, lf ou aucune");
    s.commandEnd = end->second;
    return {};
}

QString setSeconds(ScaleSettings& s, const QString& v) {
    const QByteArray a = v.toLatin1();
    double seconds = 0;
    const auto [end, ec] = std::from_chars(a.constData(), a.constData() + a.size(), seconds);
    if (a.isEmpty() || ec != std::errc() || end != a.constData() + a.size() || !std::isfinite(seconds) ||
        !(seconds > 0) || !(seconds <= 600))
        return invalid("délai", v, "un nombre de secondes écrit avec un point, plus grand que 0 et au plus 600");
    s.seconds = seconds;
    return {};
}

constexpr std::array<SettingSpec, 7> kSettings{{
    {"port", "PORT", "port série de l'instrument de pesage\n(/dev/ttyUSB0, /dev/ttyACM0...), ou son\nnœud USB HID (/dev/hidraw0)", setPort},
    {"vitesse", "BAUDS", "vitesse de la liaison, en bauds (9600 par défaut)", setSpeed},
    {"format", "FORMAT", "bits de données (7, 8), parité (N, E, O), bits\nd'arrêt (1, 2) : 8N1 (par défaut), 7E1, 8N2...",
     setFormat},
    {"protocole", "PROTOCOLE",
     "commande (par défaut : le programme demande\nla pesée), continu (l'instrument de pesage\nenvoie ses pesées de "
     "lui-même), impression\n(il envoie sa pesée quand on appuie sur sa\ntouche d'impression) ou hid (instrument de\n"
     "pesage USB HID)",
     setProtocol},
    {"commande", "TEXTE", "commande qui demande une pesée stable (S par\ndéfaut), avec \\e (ESC), \\xHH, \\r, \\n, \\t, \\\\ :\n\\eP, \\x05, \\nW",
     setCommand},
    {"fin-commande", "FIN", "ce qui suit la commande : crlf (par défaut),\ncr, lf ou aucune", setCommandEnd},
    {"delai", "SECONDES", "délai d'attente d'une pesée stable,\nen secondes (10 par défaut)", setSeconds},
}};

}  // namespace

const std::array<SettingSpec, 7>& scaleSettingTable() { return kSettings; }

std::optional<QByteArray> commandBytes(const QString& written) {
    QByteArray bytes;
    for (qsizetype i = 0; i < written.size(); ++i) {
        const char16_t c = written[i].unicode();
        if (c != '\\') {
            if (c < 0x21 || c > 0x7E) return std::nullopt;  // a blank is written \x20
            bytes += char(c);
            continue;
        }
        if (++i == written.size()) return std::nullopt;
        switch (written[i].unicode()) {
        case 'e': bytes += '\x1B'; break;
        case 'r': bytes += '\r'; break;
        case 'n': bytes += '\n'; break;
        case 't': bytes += '\t'; break;
        case '\\': bytes += '\\'; break;
        case 'x': {
            const int high = i + 2 < written.size() ? hexDigit(written[i + 1]) : -1;
            const int low = high >= 0 ? hexDigit(written[i + 2]) : -1;
            if (low < 0) return std::nullopt;
            bytes += char(high * 16 + low);
            i += 2;
            break;
        }
        default: return std::nullopt;
        }
    }
    if (bytes.isEmpty() || bytes.size() > 16) return std::nullopt;
    return bytes;
}

QString applySetting(ScaleSettings& s, const QString& key, const QString& value) {
    const auto row = std::find_if(kSettings.begin(), kSettings.end(),
                                  [&key](const SettingSpec& r) { return key == QLatin1String(r.key); });
    if (row == kSettings.end()) return QStringLiteral("réglage inconnu : %1").arg(key);
    const QString wrong = row->apply(s, value.trimmed());
    if (!wrong.isEmpty()) return wrong;
    s.problems.removeIf([&key](const ScaleSettings::Problem& p) { return p.key == key; });
    return {};
}

QString settingsFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/pesolane/pesolane.conf");
}

namespace {

// A value as the file holds it: an unquoted comma makes QSettings read a
// list, which is taken back as written.
QString valueAsWritten(const QVariant& value) {
    return value.userType() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(',')) : value.toString();
}

// The settings file reads ';' as the start of a comment: a command that
// holds one is cut there, which the operator must be told.
bool commandCut(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
    bool inSection = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) inSection = line == QLatin1String("[pesage]");
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inSection || equals <= 0 || line.left(equals).trimmed() != QLatin1String("commande")) continue;
        // A value in double quotes is read whole, ';' and all.
        const QString value = line.mid(equals + 1).trimmed();
        if (!value.startsWith(QLatin1Char('"')) && value.contains(QLatin1Char(';'))) return true;
    }
    return false;
}

}  // namespace

ScaleSettings settingsFromFile(const QString& path) {
    ScaleSettings s;
    s.file = path;
    auto told = [&s](const QString& key, const QString& wrong) {
        s.problems.append({key, wrong});
    };
    QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError) {
        told(QString(), QStringLiteral("le fichier %1 est illisible").arg(path));
        return s;
    }
    file.beginGroup(QStringLiteral("pesage"));
    for (const QString& key : file.childKeys()) {
        const QString wrong = applySetting(s, key, valueAsWritten(file.value(key)));
        if (!wrong.isEmpty()) told(key, wrong);
    }
    if (commandCut(path))
        told(QStringLiteral("commande"), QStringLiteral("la commande est coupée au « ; », que le fichier lit comme le début "
                                                        "d'un commentaire : écrivez-le \\x3B"));
    return s;
}

// What is wrong in the settings file, every setting told.
QString problemsText(const ScaleSettings& s) {
    QStringList texts;
    for (const ScaleSettings::Problem& p : s.problems) texts << p.text;
    return QStringLiteral("dans %1, section [pesage] : %2.").arg(s.file, texts.join(QStringLiteral(" ; ")));
}

QString protocolName(Protocol protocol) {
    for (const auto& [name, p] : kProtocols)
        if (p == protocol) return QLatin1String(name);
    return {};
}

QString commandEndName(const QByteArray& end) {
    for (const auto& [name, bytes] : kEnds)
        if (end == bytes) return QLatin1String(name);
    return {};
}

QStringList settingLines(const ScaleSettings& s) {
    QStringList lines{QStringLiteral("port=") + s.port};
    if (s.hid) return lines << QStringLiteral("protocole=hid");
    lines << QStringLiteral("vitesse=%1").arg(s.baud) << QStringLiteral("format=") + s.format
          << QStringLiteral("protocole=") + protocolName(s.protocol);
    if (s.protocol != Protocol::Command) return lines;
    // The file reads its own escapes before ours: a backslash is written
    // twice, and a value with a ';' goes in double quotes.
    QString command = s.commandText;
    command.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    if (command.contains(QLatin1Char(';')) || command.contains(QLatin1Char('"')))
        command = QLatin1Char('"') + command.replace(QLatin1Char('"'), QStringLiteral("\\\"")) + QLatin1Char('"');
    return lines << QStringLiteral("commande=") + command << QStringLiteral("fin-commande=") + commandEndName(s.commandEnd);
}

namespace {

// A line's key when it sets one ("port = x" sets port), else nothing.
QByteArray keyOf(const QByteArray& line) {
    const QByteArray text = line.trimmed();
    const qsizetype equals = text.indexOf('=');
    if (text.startsWith(';') || text.startsWith('#') || equals <= 0) return {};
    return text.left(equals).trimmed();
}

// The section a line opens ("[pesage]" opens pesage), or nothing.
std::optional<QByteArray> sectionOf(const QByteArray& line) {
    const QByteArray text = line.trimmed();
    if (!text.startsWith('[') || !text.contains(']')) return std::nullopt;
    return text.mid(1, text.indexOf(']') - 1).trimmed();
}

}  // namespace

QString saveSettings(const QString& path, const ScaleSettings& s) {
    // Each line with its own LF, as it was: a line the search does not set
    // goes back byte for byte, whatever its encoding, and a last line with
    // no LF after it is kept too.
    QList<QByteArray> kept;
    QFile old(path);
    if (old.exists()) {
        if (!old.open(QIODevice::ReadOnly)) return QStringLiteral("le fichier %1 est illisible").arg(path);
        const QByteArray bytes = old.readAll();
        for (qsizetype from = 0; from < bytes.size();) {
            const qsizetype lf = bytes.indexOf('\n', from);
            const qsizetype to = lf < 0 ? bytes.size() : lf + 1;
            kept << bytes.mid(from, to - from);
            from = to;
        }
    }
    // In every [pesage] section (the reader lets a later one win), the keys
    // of the link lose their old lines; the new lines go where the first
    // section ends (or in a new section, at the end).
    qsizetype sectionEnd = -1;  // after the last line of the first [pesage] that is not blank
    bool inSection = false, inFirst = false;
    for (qsizetype i = 0; i < kept.size(); ++i) {
        if (const std::optional<QByteArray> section = sectionOf(kept[i])) {
            inSection = *section == "pesage";
            inFirst = inSection && sectionEnd < 0;
            if (inFirst) sectionEnd = i + 1;
            continue;
        }
        if (!inSection) continue;
        const QByteArray key = keyOf(kept[i]);
        if (isLinkKey(std::string_view(key.constData(), std::size_t(key.size())))) {
            kept.removeAt(i--);
            continue;
        }
        if (inFirst && !kept[i].trimmed().isEmpty()) sectionEnd = i + 1;
    }
    if (sectionEnd < 0) {
        if (!kept.isEmpty() && !kept.constLast().endsWith('\n')) kept.last() += '\n';
        if (!kept.isEmpty() && !kept.constLast().trimmed().isEmpty()) kept << "\n";
        kept << "[pesage]\n";
        sectionEnd = kept.size();
    }
    if (!kept[sectionEnd - 1].endsWith('\n')) kept[sectionEnd - 1] += '\n';
    for (const QString& l : settingLines(s)) kept.insert(sectionEnd++, l.toUtf8() + '\n');

    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return QStringLiteral("le fichier %1 ne s'écrit pas : %2").arg(path, file.errorString());
    for (const QByteArray& line : kept) file.write(line);
    if (!file.commit()) return QStringLiteral("le fichier %1 ne s'écrit pas : %2").arg(path, file.errorString());
    return {};
}

namespace {

QString setJournalFile(JournalSettings& s, const QByteArray& v) {
    if (v.isEmpty()) return invalid("fichier", QString(), "le chemin du fichier du journal");
    if (!v.startsWith("~/")) {
        s.file = v;
        return {};
    }
    const QByteArray home = qgetenv("HOME");
    s.file = (home.isEmpty() ? QFile::encodeName(QDir::homePath()) : home) + v.mid(1);
    return {};
}

// A connection string or URI as libpq reads it; its password, if any, is
// libpq's to find (its password file or service file), never this file's.
QString setJournalServer(JournalSettings& s, const QByteArray& v) {
    if (v.isEmpty()) return invalid("serveur", QString(), "une connexion au serveur (postgresql://... ou service=...)");
    s.server = v;
    return {};
}

constexpr std::array<JournalSettingSpec, 2> kJournalSettings{{
    {"fichier", "journal", "CHEMIN", setJournalFile},
    {"serveur", "serveur", "CONNEXION", setJournalServer},
}};

// A value between double quotes, its \" and \\ read; nothing when the
// quotes do not close it.
std::optional<QByteArray> unquoted(const QByteArray& value) {
    QByteArray text;
    for (qsizetype i = 1; i < value.size(); ++i) {
        if (value[i] == '"') return i == value.size() - 1 ? std::optional(text) : std::nullopt;
        if (value[i] == '\\' && i + 1 < value.size() && (value[i + 1] == '"' || value[i + 1] == '\\')) ++i;
        text += value[i];
    }
    return std::nullopt;
}

}  // namespace

const std::array<JournalSettingSpec, 2>& journalSettingTable() { return kJournalSettings; }

JournalSettings journalFromFile(const QString& path) {
    JournalSettings s;
    QFile file(path);
    if (!file.exists()) return s;
    const QFileInfo info(path);
    QByteArray bytes;
    if (info.isDir() || !file.open(QIODevice::ReadOnly) || (bytes = file.readAll(), file.error() != QFileDevice::NoError)) {
        s.problems << QStringLiteral("le fichier %1 est illisible (%2)")
                          .arg(path, info.isDir() ? QStringLiteral("c'est un dossier") : file.errorString());
        return s;
    }
    const auto told = [&s, &path](int line, const QString& wrong) {
        s.problems << QStringLiteral("dans %1, ligne %2 : %3").arg(path).arg(line).arg(wrong);
    };
    bool inSection = false;
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QByteArray line = lines[n].trimmed();  // a CR before the LF too
        if (const std::optional<QByteArray> section = sectionOf(line)) {
            inSection = *section == "journal";
            if (!inSection && section->toLower() == "journal")
                told(int(n + 1), QStringLiteral("la section [%1] n'est pas lue : elle s'écrit [journal]")
                                     .arg(QString::fromUtf8(*section)));
            continue;
        }
        if (!inSection || line.isEmpty() || line.startsWith(';') || line.startsWith('#')) continue;
        const qsizetype equals = line.indexOf('=');
        const QByteArray key = equals > 0 ? line.left(equals).trimmed() : QByteArray();
        const auto row = std::find_if(kJournalSettings.begin(), kJournalSettings.end(),
                                      [&key](const JournalSettingSpec& r) { return key == r.key; });
        if (equals <= 0) {
            told(int(n + 1), QStringLiteral("« %1 » n'est pas un réglage (attendu : fichier=CHEMIN ou serveur=CONNEXION)").arg(QString::fromUtf8(line)));
            continue;
        }
        if (row == kJournalSettings.end()) {
            told(int(n + 1), QStringLiteral("réglage inconnu : %1").arg(QString::fromUtf8(key)));
            continue;
        }
        QByteArray value = line.mid(equals + 1).trimmed();
        if (value.startsWith('"')) {
            const std::optional<QByteArray> inner = unquoted(value);
            if (!inner) {
                told(int(n + 1), QStringLiteral("le chemin n'est pas fermé par un guillemet"));
                continue;
            }
            value = *inner;
        } else if (value.contains(';')) {
            // The file is also read by a reader that takes ';' for the start
            // of a comment: a path that holds one is written in quotes.
            told(int(n + 1), QStringLiteral("un « ; » hors de guillemets : écrivez le chemin entre guillemets "
                                            "(%1=\"%2\")")
                                 .arg(QString::fromUtf8(key), QString::fromUtf8(value)));
            continue;
        }
        if (const QString wrong = row->apply(s, value); !wrong.isEmpty()) told(int(n + 1), wrong);
    }
    if (!s.file.isEmpty() && !s.file.startsWith('/'))
        s.file = QFile::encodeName(info.absolutePath()) + '/' + s.file;
    return s;
}

bool readsHid(const ScaleSettings& s) {
    return s.hid || s.port.isEmpty() || s.port.startsWith(QLatin1String("/dev/hidraw"));
}

}  // namespace pesolane
