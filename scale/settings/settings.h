// How the scale is reached: its port, speed, byte format, protocol, command,
// what ends the command, and time limit. Set by options on the command line
// or by the [pesage] section of the settings file; an option wins over the file.
#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QString>

#include <array>
#include <optional>

#include "outcome.h"

namespace pesolane {

struct ScaleSettings {
    QString port;                     // empty: no scale set up
    int baud = 9600;
    QString format = QStringLiteral("8N1");  // data bits (7, 8), parity (N, E, O), stop bits (1, 2)
    Protocol protocol = Protocol::Command;
    QByteArray command = "S";         // the bytes sent
    QString commandText = QStringLiteral("S");  // as written, escapes and all
    QByteArray commandEnd = "\r\n";   // what follows the command
    double seconds = 10;              // time limit of one read
    QString file;                     // the settings file read, if any
    bool hid = false;                 // a USB weighing device (HID), whatever its port's name
    QString systemRoot = QStringLiteral("/");  // where /sys and /dev are found (a folder in tests)

    // What is wrong in the settings file, setting by setting; setting it
    // again on the command line mends it.
    struct Problem {
        QString key;
        QString text;
    };
    QList<Problem> problems;
};

// One setting: its key in the file, which is also its option (--port).
struct SettingSpec {
    const char* key;
    const char* valueName;  // for the usage
    const char* help;       // for the usage, in French
    // Sets it from the value as written (trimmed); a bad value leaves the
    // settings as they were and gives what is wrong.
    QString (*apply)(ScaleSettings& settings, const QString& value);
};

const std::array<SettingSpec, 7>& scaleSettingTable();

// The bytes a command written with C escapes stands for (\e, \xHH, \r, \n,
// \t, \\); nothing when it is not a command.
std::optional<QByteArray> commandBytes(const QString& written);

// Sets `key` to `value`. A bad value leaves the settings as they were and
// gives what is wrong, in French ("vitesse invalide : 9601 (...)"); a good
// one gives an empty text.
QString applySetting(ScaleSettings& settings, const QString& key, const QString& value);

// $XDG_CONFIG_HOME/pesolane/pesolane.conf, by default ~/.config/pesolane/pesolane.conf.
QString settingsFilePath();

// The settings of that file (the defaults where it is silent or absent);
// every bad value and unknown key is kept in `problems`, for a read to tell.
ScaleSettings settingsFromFile(const QString& path);

// A serial protocol and a command's end as the settings write them
// ("commande", "crlf"...).
QString protocolName(Protocol protocol);
QString commandEndName(const QByteArray& end);

// The [pesage] lines that set a link up as `settings` do: the port, and
// what its protocol needs ("vitesse=9600"...).
QStringList settingLines(const ScaleSettings& settings);

// Writes those lines into the [pesage] section of the file at `path`,
// replacing the keys they set and keeping every other line as it was
// (other sections, comments, other keys); creates the file and its folder
// when there are none. Gives what went wrong, in French; empty when written.
QString saveSettings(const QString& path, const ScaleSettings& settings);

// What is wrong in the settings file, every setting told, in French.
QString problemsText(const ScaleSettings& settings);

// The record of countings: the [journal] section of the settings file. No
// file set up, nothing is recorded and nothing is created.
struct JournalSettings {
    QByteArray file;      // the record's path, as bytes, as the system takes them; empty: none
    QByteArray server;    // the site's server, a libpq connection string or URI; empty: none
    QStringList problems; // what is wrong in the settings file for the record, in French
};

// One [journal] setting: its key in the file, which is also its option.
struct JournalSettingSpec {
    const char* key;
    const char* option;  // its option on the command line
    const char* valueName;
    // Sets it from the value's bytes, as written; a bad value leaves the
    // settings as they were and gives what is wrong.
    QString (*apply)(JournalSettings& settings, const QByteArray& value);
};

// The key `fichier`, whose option is --journal. A relative path in the file
// is taken from the file's own folder, on the command line from the current
// one; ~/ is the home folder. Then `serveur`, its option --serveur.
const std::array<JournalSettingSpec, 2>& journalSettingTable();

// The [journal] section of the settings file at `path`, read line by line as
// bytes: a path is the value as written, blanks around it aside, or all that
// stands between double quotes (fichier="/a; b/c.db", with \" and \\ for a
// quote and a backslash). A ';' outside quotes, an unknown key, a line that
// is not a setting, a section [Journal] written otherwise than [journal] and
// a file that exists but cannot be read are told in `problems`, with their line.
JournalSettings journalFromFile(const QString& path);

// True when F9 reads a USB weighing device: said so, a port under
// /dev/hidraw, or no port set up at all (the one plugged in is looked for).
bool readsHid(const ScaleSettings& settings);

}  // namespace pesolane
