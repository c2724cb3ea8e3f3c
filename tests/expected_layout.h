// The window as the operator must see it, written out here on its own (not
// taken from the program's control table), so that the tests compare the
// live widgets with an independent statement of every caption, place,
// colour, font and keyboard position.
#pragma once

#include <QColor>
#include <QRect>
#include <QString>

#include <array>
#include <cstdint>

namespace pesolane::test {

struct ExpectedStyle {
    const char* role;
    std::uint32_t back;  // 0xRRGGBB
    std::uint32_t text;
    int pixelSize;       // points x 96 / 72
    bool bold;
};

// Window font: Arial 12 pt bold (16 px).
inline constexpr ExpectedStyle kExpectedStyles[] = {
    {"InputCaption", 0x404040, 0xFFFFFF, 15, false},    // 11.25 pt regular
    {"ResultCaption", 0x404040, 0x00FFFF, 15, false},   // 11.25 pt regular
    {"SignLabel", 0x404040, 0xFFFFFF, 19, false},       // 14.25 pt regular
    {"ErrorLabel", 0xFF0000, 0xFFFFFF, 16, true},       // window font
    {"InputBox", 0xC0FFFF, 0x000000, 16, true},         // window font
    {"ResultBox", 0x80FF80, 0x000000, 16, true},        // window font
    {"FinalResultBox", 0x000000, 0x00FF00, 21, true},   // 15.75 pt bold
    {"StepButton", 0x00C0C0, 0x000000, 27, true},       // 20.25 pt bold
    {"QuitButton", 0x8080FF, 0x000000, 24, true},       // 18 pt bold
    {"SeparatorLine", 0xFFFFFF, 0xFFFFFF, 0, false},    // one white pixel
};

inline const ExpectedStyle& expectedStyle(const QString& role) {
    for (const ExpectedStyle& s : kExpectedStyles)
        if (role == QLatin1String(s.role)) return s;
    qFatal("no style for role %s", qPrintable(role));
}

struct ExpectedControl {
    const char* name;
    const char* kind;     // Label, TextBox, Button, Line
    const char* role;
    const char* caption;  // UTF-8, blanks exactly as shown
    struct {
        int x, y, w, h;   // a line: from its first end point to its last, both included
    } rect;
    int tab;              // -1 for lines
    bool atStart;

    QRect geometry() const { return QRect(rect.x, rect.y, rect.w, rect.h); }
    QString qname() const { return QString::fromLatin1(name); }
};

// Every control, in keyboard order, then the seven lines.
inline constexpr std::array<ExpectedControl, 63> kExpectedControls{{
    {"LblPrecision", "Label", "InputCaption", "Précision de  la  pesolane", {8, 8, 81, 33}, 0, true},
    {"LblPoidsTotal", "Label", "InputCaption", "Poids total", {8, 56, 73, 17}, 1, true},
    {"TxtPrecision", "TextBox", "InputBox", "", {112, 8, 113, 27}, 2, true},
    {"TxtPoidsTotal", "TextBox", "InputBox", "", {112, 48, 113, 27}, 3, true},
    {"LblPoidsTheo1er", "Label", "ResultCaption", "Poids mini théo du 1er échantillon", {304, 16, 73, 49}, 4, false},
    {"TxtPoidsTheo1er", "TextBox", "ResultBox", "", {432, 32, 73, 27}, 5, false},
    {"Cmd1", "Button", "StepButton", "1", {240, 40, 41, 39}, 6, true},
    {"LblErrPrecision", "Label", "ErrorLabel", "Poids total faible     mini = 10 x précision", {552, 32, 177, 41}, 7, false},
    {"LblPoidsReel1er", "Label", "InputCaption", "Poids réel du  1er échantillon", {8, 96, 73, 49}, 8, false},
    {"TxtPoidsReel1er", "TextBox", "InputBox", "", {112, 112, 113, 27}, 9, false},
    {"Cmd2", "Button", "StepButton", "2", {240, 104, 41, 39}, 10, false},
    {"LblPds1erFaible", "Label", "ErrorLabel", "Le poids réel du premier échantillon doit être  > = au poids mini  théorique du premier échantillon", {408, 96, 321, 57}, 11, false},
    {"LblNb1er", "Label", "InputCaption", "Nb de pièces dans le  1er échantillon", {8, 168, 89, 49}, 12, false},
    {"TxtNb1er", "TextBox", "InputBox", "", {112, 184, 113, 27}, 13, false},
    {"Cmd3", "Button", "StepButton", "3", {240, 176, 41, 40}, 14, false},
    {"LblNbTotalapproxi", "Label", "ResultCaption", "1ere estimation du Nb total de pièces", {304, 168, 105, 49}, 15, false},
    {"TxtNbTotalApproxi", "TextBox", "ResultBox", "", {432, 184, 121, 27}, 16, false},
    {"LblPlusMoins1", "Label", "SignLabel", "+ / -", {568, 184, 33, 25}, 17, false},
    {"TxtIncertitude1", "TextBox", "ResultBox", "", {616, 184, 113, 27}, 18, false},
    {"LblEcartMini", "Label", "ResultCaption", "Ecart mini par rapport au Nb total de pièces", {304, 240, 97, 57}, 19, false},
    {"TxtEcartMini", "TextBox", "ResultBox", "", {440, 248, 113, 27}, 20, false},
    {"LblEcartMaxi", "Label", "ResultCaption", "Ecart maxi par rapport au Nb total de pièces", {304, 304, 97, 49}, 21, false},
    {"TxtEcartMaxi", "TextBox", "ResultBox", "", {440, 320, 113, 27}, 22, false},
    {"LblEcartChoisi", "Label", "InputCaption", "Ecart choisi", {8, 256, 81, 17}, 23, false},
    {"TxtEcartChoisi", "TextBox", "InputBox", "", {112, 256, 113, 27}, 24, false},
    {"Cmd4", "Button", "StepButton", "4", {240, 248, 41, 40}, 25, false},
    {"LblEcartPetit", "Label", "ErrorLabel", "Ecart trop PETIT", {592, 320, 137, 25}, 26, false},
    {"LblEcartGrand", "Label", "ErrorLabel", "Ecart trop grand", {592, 320, 137, 25}, 27, false},
    {"LblPoidsTheo2eme", "Label", "ResultCaption", "Poids mini théo  pour le  2eme échantillon", {8, 288, 73, 65}, 28, false},
    {"TxtPoidsTheo2eme", "TextBox", "ResultBox", "", {112, 320, 113, 27}, 29, false},
    {"LblPoidsReel2eme", "Label", "InputCaption", "Poids réel du  2eme échantillon", {8, 376, 73, 49}, 30, false},
    {"TxtPoidsReel2eme", "TextBox", "InputBox", "", {112, 392, 113, 27}, 31, false},
    {"Cmd5", "Button", "StepButton", "5", {240, 384, 41, 40}, 32, false},
    {"LblPoids2emeFaible", "Label", "ErrorLabel", "Le poids réel du deuxième échantillon doit être  > = au poids mini théorique du deuxième échantillon", {400, 376, 329, 57}, 33, false},
    {"LblNbReel2eme", "Label", "InputCaption", "Nb de pièces du  2eme échantillon", {8, 448, 89, 49}, 34, false},
    {"TxtNb2eme", "TextBox", "InputBox", "", {112, 464, 113, 27}, 35, false},
    {"Cmd6", "Button", "StepButton", "6", {240, 456, 41, 40}, 36, false},
    {"LblNbTotalCalcule", "Label", "ResultCaption", "Nb total       de pièces calculé", {304, 448, 73, 49}, 37, false},
    {"TxtNbTotalCalcule", "TextBox", "FinalResultBox", "", {432, 456, 121, 35}, 38, false},
    {"LblPlusMoins2", "Label", "SignLabel", "+ / -", {576, 464, 33, 25}, 39, false},
    {"TxtIncertitude2", "TextBox", "FinalResultBox", "", {616, 456, 113, 35}, 40, false},
    {"LblNbVoulu", "Label", "InputCaption", "Nb voulu de pièces pour un lot", {8, 536, 81, 49}, 41, false},
    {"TxtNbVoulu", "TextBox", "InputBox", "", {112, 544, 113, 27}, 42, false},
    {"Cmd7", "Button", "StepButton", "7", {240, 536, 41, 40}, 43, false},
    {"LblNbVouluGrand", "Label", "ErrorLabel", "Nombre trop grand", {112, 592, 169, 25}, 44, false},
    {"LblPoidsNbVoulu", "Label", "ResultCaption", "Poids du lot  de pièces", {304, 520, 81, 33}, 45, false},
    {"TxtPoidsNbVoulu", "TextBox", "ResultBox", "", {440, 528, 113, 27}, 46, false},
    {"TxtIncertitude3", "TextBox", "ResultBox", "", {440, 584, 113, 27}, 47, false},
    {"CmdQuitter", "Button", "QuitButton", "FIN", {672, 584, 57, 29}, 48, true},
    {"LblPlusMoins3", "Label", "SignLabel", "+ / -", {400, 584, 33, 25}, 49, false},
    {"LblEcartNbVoulu", "Label", "ResultCaption", "Ecart sur le nombre de    pièces du lot", {304, 568, 89, 49}, 50, false},
    {"LblErrPrecisionPlus", "Label", "ErrorLabel", "La précision doit être  > 0", {528, 8, 201, 25}, 51, false},
    {"LblErrNbEcht1", "Label", "ErrorLabel", "Il faut que le nombre de pièces soit  > = 1", {560, 176, 169, 41}, 52, false},
    {"LblErrNbVouluInf1", "Label", "ErrorLabel", "Il faut que le nombre de pièces soit > = 1", {560, 528, 169, 41}, 53, false},
    {"LblPds1erFort", "Label", "ErrorLabel", "Le poids réel du premier échantillon doit être  <  au poids total", {408, 104, 321, 41}, 54, false},
    {"LblErrNbEcht2", "Label", "ErrorLabel", "Il faut que le nombre de pièces soit  > = 1", {560, 456, 169, 41}, 55, false},
    {"Line1", "Line", "SeparatorLine", "", {8, 88, 721, 1}, -1, true},
    {"Line2", "Line", "SeparatorLine", "", {8, 160, 721, 1}, -1, false},
    {"Line3", "Line", "SeparatorLine", "", {8, 232, 721, 1}, -1, false},
    {"Line4", "Line", "SeparatorLine", "", {296, 8, 1, 617}, -1, true},
    {"Line5", "Line", "SeparatorLine", "", {8, 368, 721, 1}, -1, false},
    {"Line6", "Line", "SeparatorLine", "", {8, 440, 721, 1}, -1, false},
    {"Line7", "Line", "SeparatorLine", "", {8, 512, 721, 1}, -1, false},
}};

inline QColor expectedColour(std::uint32_t rgb) { return QColor::fromRgb(QRgb(0xFF000000u | rgb)); }

}  // namespace pesolane::test
