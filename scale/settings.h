// How the scale is reached: its port, speed, byte format, protocol, command
// and time limit. Set by options on the command line or by the [pesage]
// section of the settings file; an option wins over the file.
#pragma once

#include <QByteArray>
#include <QString>

#include <array>

#include "reading.h"

namespace pesolane {

struct ScaleSettings {
    QString port;                     // empty: no scale set up
    int baud = 9600;
    QString format = QStringLiteral("8N1");  // data bits, parity, stop bits
    Protocol protocol = Protocol::Command;
    QByteArray command = "S";
    double seconds = 10;              // time limit of one read
    QString problem;                  // what is wrong in the settings file, if anything
    QString problemKey;               // the setting it is about; setting it again mends it
};

// One setting: its key in the file, which is also its option (--port).
struct SettingSpec {
    const char* key;
    const char* valueName;  // for the usage
    const char* help;       // for the usage, in French
};

const std::array<SettingSpec, 6>& scaleSettingTable();

// Sets `key` to `value`. A bad value leaves the settings as they were and
// gives what is wrong, in French ("vitesse invalide : 9601 (...)"); a good
// one gives an empty text.
QString applySetting(ScaleSettings& settings, const QString& key, const QString& value);

// $XDG_CONFIG_HOME/pesolane/pesolane.conf, by default ~/.config/pesolane/pesolane.conf.
QString settingsFilePath();

// The settings of that file (the defaults where it is silent or absent); a
// bad value or an unknown key is kept as `problem`, for the first read to tell.
ScaleSettings settingsFromFile(const QString& path);

}  // namespace pesolane
