// The labels: the [etiquette] section of the settings file, each key also an
// option on the command line, which wins over the file.
#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace pesolane {

struct LabelSettings {
    QString printer;           // a CUPS queue; empty: the system's default printer
    double widthMm = 62, heightMm = 29;  // a common label roll
    bool automatic = false;    // each lot's label printed as step 7 shows it
    QStringList problems;      // what is wrong in the section, in French
};

// The sizes a label's layout fits: from 50 x 25 mm to A6 (105 x 148), either way round.
inline constexpr double kLabelMinMm = 25, kLabelMaxMm = 148;

struct LabelSettingSpec {
    const char* key;        // in the [etiquette] section
    const char* option;     // on the command line
    const char* valueName;  // for the usage
    const char* help;       // for the usage, in French
    // Sets it from the value as written (trimmed); a bad value leaves the
    // settings as they were and gives what is wrong.
    QString (*apply)(LabelSettings& settings, const QString& value);
};

const std::array<LabelSettingSpec, 3>& labelSettingTable();

// The [etiquette] section of the settings file at `path` (the defaults where
// it is silent or absent); every bad value and unknown key is kept in `problems`.
LabelSettings labelFromFile(const QString& path);

}  // namespace pesolane
