#include "label_settings.h"

#include <QRegularExpression>
#include <QSettings>

#include <algorithm>

namespace pesolane {
namespace {

QString setPrinter(LabelSettings& s, const QString& v) {
    // A CUPS queue's name: printable, no blank, no '/' nor '#'.
    static const QRegularExpression name(QStringLiteral("^[^\\s/#\\\\]{1,127}$"));
    if (!name.match(v).hasMatch())
        return QStringLiteral("imprimante invalide : %1 (attendu : le nom d'une file d'impression, sans espace)").arg(v);
    s.printer = v;
    return {};
}

QString setFormat(LabelSettings& s, const QString& v) {
    static const QRegularExpression size(QStringLiteral("^(\\d{1,3}(?:\\.\\d{1,2})?)[xX](\\d{1,3}(?:\\.\\d{1,2})?)$"));
    const QRegularExpressionMatch m = size.match(v);
    const double w = m.hasMatch() ? m.captured(1).toDouble() : 0, h = m.hasMatch() ? m.captured(2).toDouble() : 0;
    // From 50 x 25 to A6, portrait or landscape.
    const double longer = std::max(w, h), shorter = std::min(w, h);
    if (!m.hasMatch() || longer < 50 || shorter < kLabelMinMm || longer > kLabelMaxMm || shorter > 105)
        return QStringLiteral("format invalide : %1 (attendu : largeur x hauteur en millimètres, de 50x25 à 105x148, "
                              "par exemple 62x29)").arg(v);
    s.widthMm = w, s.heightMm = h;
    return {};
}

QString setAutomatic(LabelSettings& s, const QString& v) {
    if (v == QLatin1String("oui")) s.automatic = true;
    else if (v == QLatin1String("non")) s.automatic = false;
    else return QStringLiteral("automatique invalide : %1 (attendu : oui ou non)").arg(v);
    return {};
}

constexpr std::array<LabelSettingSpec, 3> kLabelSettings{{
    {"imprimante", "imprimante", "FILE", "file d'impression CUPS des étiquettes\n(par défaut : l'imprimante par défaut)",
     setPrinter},
    {"format", "format-etiquette", "LxH", "taille des étiquettes en millimètres, de\n50x25 à 105x148 (62x29 par défaut)",
     setFormat},
    {"automatique", "etiquette-automatique", "oui|non",
     "oui : l'étiquette de chaque lot s'imprime\nd'elle-même à l'étape 7 (non par défaut)", setAutomatic},
}};

}  // namespace

const std::array<LabelSettingSpec, 3>& labelSettingTable() { return kLabelSettings; }

LabelSettings labelFromFile(const QString& path) {
    LabelSettings s;
    QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError) return s;
    file.beginGroup(QStringLiteral("etiquette"));
    for (const QString& key : file.childKeys()) {
        const auto row = std::find_if(kLabelSettings.begin(), kLabelSettings.end(),
                                      [&key](const LabelSettingSpec& r) { return key == QLatin1String(r.key); });
        const QVariant value = file.value(key);
        const QString written =
            value.userType() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(',')) : value.toString();
        const QString wrong = row == kLabelSettings.end() ? QStringLiteral("réglage inconnu : %1").arg(key)
                                                          : row->apply(s, written.trimmed());
        if (!wrong.isEmpty()) s.problems << wrong;
    }
    return s;
}

}  // namespace pesolane
