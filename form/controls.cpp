#include "controls.h"

namespace pesolane {
namespace {

using K = Kind;
using R = Role;

// Horizontal lines run from x 8 to x 728 inclusive; the vertical one from y 8 to y 624.
constexpr Rect hLine(int y) { return {8, y, 721, 1}; }

constexpr std::array<ControlSpec, kControlCount> kTable{{
    {Ctl::LblPrecision, "LblPrecision", K::Label, R::InputCaption, "Précision de  la  pesolane", {8, 8, 81, 33}, 0, true, ""},
    {Ctl::LblPoidsTotal, "LblPoidsTotal", K::Label, R::InputCaption, "Poids total", {8, 56, 73, 17}, 1, true, ""},
    {Ctl::TxtPrecision, "TxtPrecision", K::TextBox, R::InputBox, "", {112, 8, 113, 27}, 2, true, "Précision de la pesolane"},
    {Ctl::TxtPoidsTotal, "TxtPoidsTotal", K::TextBox, R::InputBox, "", {112, 48, 113, 27}, 3, true, "Poids total"},
    {Ctl::LblPoidsTheo1er, "LblPoidsTheo1er", K::Label, R::ResultCaption, "Poids mini théo du 1er échantillon", {304, 16, 73, 49}, 4, false, ""},
    {Ctl::TxtPoidsTheo1er, "TxtPoidsTheo1er", K::TextBox, R::ResultBox, "", {432, 32, 73, 27}, 5, false, "Poids minimum théorique du premier échantillon"},
    {Ctl::Cmd1, "Cmd1", K::Button, R::StepButton, "1", {240, 40, 41, 39}, 6, true, "Étape 1 : valider la précision et le poids total", "Étape 1 : saisir la précision et le poids total"},
    {Ctl::LblErrPrecision, "LblErrPrecision", K::Label, R::ErrorLabel, "Poids total faible     mini = 10 x précision", {552, 32, 177, 41}, 7, false, ""},
    {Ctl::LblPoidsReel1er, "LblPoidsReel1er", K::Label, R::InputCaption, "Poids réel du  1er échantillon", {8, 96, 73, 49}, 8, false, ""},
    {Ctl::TxtPoidsReel1er, "TxtPoidsReel1er", K::TextBox, R::InputBox, "", {112, 112, 113, 27}, 9, false, "Poids réel du premier échantillon"},
    {Ctl::Cmd2, "Cmd2", K::Button, R::StepButton, "2", {240, 104, 41, 39}, 10, false, "Étape 2 : valider le poids réel du premier échantillon", "Étape 2 : saisir le poids réel du premier échantillon"},
    {Ctl::LblPds1erFaible, "LblPds1erFaible", K::Label, R::ErrorLabel, "Le poids réel du premier échantillon doit être  > = au poids mini  théorique du premier échantillon", {408, 96, 321, 57}, 11, false, ""},
    {Ctl::LblNb1er, "LblNb1er", K::Label, R::InputCaption, "Nb de pièces dans le  1er échantillon", {8, 168, 89, 49}, 12, false, ""},
    {Ctl::TxtNb1er, "TxtNb1er", K::TextBox, R::InputBox, "", {112, 184, 113, 27}, 13, false, "Nombre de pièces dans le premier échantillon"},
    {Ctl::Cmd3, "Cmd3", K::Button, R::StepButton, "3", {240, 176, 41, 40}, 14, false, "Étape 3 : valider le nombre de pièces dans le premier échantillon", "Étape 3 : saisir le nombre de pièces dans le premier échantillon"},
    {Ctl::LblNbTotalapproxi, "LblNbTotalapproxi", K::Label, R::ResultCaption, "1ere estimation du Nb total de pièces", {304, 168, 105, 49}, 15, false, ""},
    {Ctl::TxtNbTotalApproxi, "TxtNbTotalApproxi", K::TextBox, R::ResultBox, "", {432, 184, 121, 27}, 16, false, "Première estimation du nombre total de pièces"},
    {Ctl::LblPlusMoins1, "LblPlusMoins1", K::Label, R::SignLabel, "+ / -", {568, 184, 33, 25}, 17, false, ""},
    {Ctl::TxtIncertitude1, "TxtIncertitude1", K::TextBox, R::ResultBox, "", {616, 184, 113, 27}, 18, false, "Incertitude de la première estimation, plus ou moins"},
    {Ctl::LblEcartMini, "LblEcartMini", K::Label, R::ResultCaption, "Ecart mini par rapport au Nb total de pièces", {304, 240, 97, 57}, 19, false, ""},
    {Ctl::TxtEcartMini, "TxtEcartMini", K::TextBox, R::ResultBox, "", {440, 248, 113, 27}, 20, false, "Écart minimum par rapport au nombre total de pièces"},
    {Ctl::LblEcartMaxi, "LblEcartMaxi", K::Label, R::ResultCaption, "Ecart maxi par rapport au Nb total de pièces", {304, 304, 97, 49}, 21, false, ""},
    {Ctl::TxtEcartMaxi, "TxtEcartMaxi", K::TextBox, R::ResultBox, "", {440, 320, 113, 27}, 22, false, "Écart maximum par rapport au nombre total de pièces"},
    {Ctl::LblEcartChoisi, "LblEcartChoisi", K::Label, R::InputCaption, "Ecart choisi", {8, 256, 81, 17}, 23, false, ""},
    {Ctl::TxtEcartChoisi, "TxtEcartChoisi", K::TextBox, R::InputBox, "", {112, 256, 113, 27}, 24, false, "Écart choisi"},
    {Ctl::Cmd4, "Cmd4", K::Button, R::StepButton, "4", {240, 248, 41, 40}, 25, false, "Étape 4 : valider l'écart choisi", "Étape 4 : saisir l'écart choisi"},
    {Ctl::LblEcartPetit, "LblEcartPetit", K::Label, R::ErrorLabel, "Ecart trop PETIT", {592, 320, 137, 25}, 26, false, ""},
    {Ctl::LblEcartGrand, "LblEcartGrand", K::Label, R::ErrorLabel, "Ecart trop grand", {592, 320, 137, 25}, 27, false, ""},
    {Ctl::LblPoidsTheo2eme, "LblPoidsTheo2eme", K::Label, R::ResultCaption, "Poids mini théo  pour le  2eme échantillon", {8, 288, 73, 65}, 28, false, ""},
    {Ctl::TxtPoidsTheo2eme, "TxtPoidsTheo2eme", K::TextBox, R::ResultBox, "", {112, 320, 113, 27}, 29, false, "Poids minimum théorique du deuxième échantillon"},
    {Ctl::LblPoidsReel2eme, "LblPoidsReel2eme", K::Label, R::InputCaption, "Poids réel du  2eme échantillon", {8, 376, 73, 49}, 30, false, ""},
    {Ctl::TxtPoidsReel2eme, "TxtPoidsReel2eme", K::TextBox, R::InputBox, "", {112, 392, 113, 27}, 31, false, "Poids réel du deuxième échantillon"},
    {Ctl::Cmd5, "Cmd5", K::Button, R::StepButton, "5", {240, 384, 41, 40}, 32, false, "Étape 5 : valider le poids réel du deuxième échantillon", "Étape 5 : saisir le poids réel du deuxième échantillon"},
    {Ctl::LblPoids2emeFaible, "LblPoids2emeFaible", K::Label, R::ErrorLabel, "Le poids réel du deuxième échantillon doit être  > = au poids mini théorique du deuxième échantillon", {400, 376, 329, 57}, 33, false, ""},
    {Ctl::LblNbReel2eme, "LblNbReel2eme", K::Label, R::InputCaption, "Nb de pièces du  2eme échantillon", {8, 448, 89, 49}, 34, false, ""},
    {Ctl::TxtNb2eme, "TxtNb2eme", K::TextBox, R::InputBox, "", {112, 464, 113, 27}, 35, false, "Nombre de pièces du deuxième échantillon"},
    {Ctl::Cmd6, "Cmd6", K::Button, R::StepButton, "6", {240, 456, 41, 40}, 36, false, "Étape 6 : valider le nombre de pièces du deuxième échantillon", "Étape 6 : saisir le nombre de pièces du deuxième échantillon"},
    {Ctl::LblNbTotalCalcule, "LblNbTotalCalcule", K::Label, R::ResultCaption, "Nb total       de pièces calculé", {304, 448, 73, 49}, 37, false, ""},
    {Ctl::TxtNbTotalCalcule, "TxtNbTotalCalcule", K::TextBox, R::FinalResultBox, "", {432, 456, 121, 35}, 38, false, "Nombre total de pièces calculé"},
    {Ctl::LblPlusMoins2, "LblPlusMoins2", K::Label, R::SignLabel, "+ / -", {576, 464, 33, 25}, 39, false, ""},
    {Ctl::TxtIncertitude2, "TxtIncertitude2", K::TextBox, R::FinalResultBox, "", {616, 456, 113, 35}, 40, false, "Incertitude du nombre total calculé, plus ou moins"},
    {Ctl::LblNbVoulu, "LblNbVoulu", K::Label, R::InputCaption, "Nb voulu de pièces pour un lot", {8, 536, 81, 49}, 41, false, ""},
    {Ctl::TxtNbVoulu, "TxtNbVoulu", K::TextBox, R::InputBox, "", {112, 544, 113, 27}, 42, false, "Nombre voulu de pièces pour un lot"},
    {Ctl::Cmd7, "Cmd7", K::Button, R::StepButton, "7", {240, 536, 41, 40}, 43, false, "Étape 7 : valider le nombre voulu de pièces pour un lot", "Étape 7 : saisir le nombre voulu de pièces pour un lot"},
    {Ctl::LblNbVouluGrand, "LblNbVouluGrand", K::Label, R::ErrorLabel, "Nombre trop grand", {112, 592, 169, 25}, 44, false, ""},
    {Ctl::LblPoidsNbVoulu, "LblPoidsNbVoulu", K::Label, R::ResultCaption, "Poids du lot  de pièces", {304, 520, 81, 33}, 45, false, ""},
    {Ctl::TxtPoidsNbVoulu, "TxtPoidsNbVoulu", K::TextBox, R::ResultBox, "", {440, 528, 113, 27}, 46, false, "Poids du lot de pièces"},
    {Ctl::TxtIncertitude3, "TxtIncertitude3", K::TextBox, R::ResultBox, "", {440, 584, 113, 27}, 47, false, "Écart sur le nombre de pièces du lot, plus ou moins"},
    {Ctl::CmdQuitter, "CmdQuitter", K::Button, R::QuitButton, "FIN", {672, 584, 57, 29}, 48, true, "Fin du programme"},
    {Ctl::LblPlusMoins3, "LblPlusMoins3", K::Label, R::SignLabel, "+ / -", {400, 584, 33, 25}, 49, false, ""},
    {Ctl::LblEcartNbVoulu, "LblEcartNbVoulu", K::Label, R::ResultCaption, "Ecart sur le nombre de    pièces du lot", {304, 568, 89, 49}, 50, false, ""},
    {Ctl::LblErrPrecisionPlus, "LblErrPrecisionPlus", K::Label, R::ErrorLabel, "La précision doit être  > 0", {528, 8, 201, 25}, 51, false, ""},
    {Ctl::LblErrNbEcht1, "LblErrNbEcht1", K::Label, R::ErrorLabel, "Il faut que le nombre de pièces soit  > = 1", {560, 176, 169, 41}, 52, false, ""},
    {Ctl::LblErrNbVouluInf1, "LblErrNbVouluInf1", K::Label, R::ErrorLabel, "Il faut que le nombre de pièces soit > = 1", {560, 528, 169, 41}, 53, false, ""},
    {Ctl::LblPds1erFort, "LblPds1erFort", K::Label, R::ErrorLabel, "Le poids réel du premier échantillon doit être  <  au poids total", {408, 104, 321, 41}, 54, false, ""},
    {Ctl::LblErrNbEcht2, "LblErrNbEcht2", K::Label, R::ErrorLabel, "Il faut que le nombre de pièces soit  > = 1", {560, 456, 169, 41}, 55, false, ""},
    {Ctl::Line1, "Line1", K::Line, R::SeparatorLine, "", hLine(88), -1, true, ""},
    {Ctl::Line2, "Line2", K::Line, R::SeparatorLine, "", hLine(160), -1, false, ""},
    {Ctl::Line3, "Line3", K::Line, R::SeparatorLine, "", hLine(232), -1, false, ""},
    {Ctl::Line4, "Line4", K::Line, R::SeparatorLine, "", {296, 8, 1, 617}, -1, true, ""},
    {Ctl::Line5, "Line5", K::Line, R::SeparatorLine, "", hLine(368), -1, false, ""},
    {Ctl::Line6, "Line6", K::Line, R::SeparatorLine, "", hLine(440), -1, false, ""},
    {Ctl::Line7, "Line7", K::Line, R::SeparatorLine, "", hLine(512), -1, false, ""},
}};

constexpr bool tableIndexedById() {
    for (std::size_t i = 0; i < kTable.size(); ++i)
        if (index(kTable[i].id) != i) return false;
    return true;
}
static_assert(tableIndexedById(), "each row of the control table must stand at its id");

// Window font: 12 pt bold, i.e. 16 px.
constexpr std::array<RoleStyle, kRoleCount> kRoleStyles{{
    {0x404040, 0xFFFFFF, 15, false},  // input caption, 11.25 pt
    {0x404040, 0x00FFFF, 15, false},  // result caption, 11.25 pt
    {0x404040, 0xFFFFFF, 19, false},  // sign label, 14.25 pt
    {0xFF0000, 0xFFFFFF, 16, true},   // error label, window font
    {0xC0FFFF, 0x000000, 16, true},   // input box, window font
    {0x80FF80, 0x000000, 16, true},   // result box, window font
    {0x000000, 0x00FF00, 21, true},   // final result box, 15.75 pt
    {0x00C0C0, 0x000000, 27, true},   // step button, 20.25 pt
    {0x8080FF, 0x000000, 24, true},   // quit button, 18 pt
    {0xFFFFFF, 0xFFFFFF, 16, true},   // separator line: drawn in white
}};

// Each caption label and the box it names, for assistive technology.
constexpr std::array<CaptionOf, 18> kCaptions{{
    {Ctl::LblPrecision, Ctl::TxtPrecision},           {Ctl::LblPoidsTotal, Ctl::TxtPoidsTotal},
    {Ctl::LblPoidsTheo1er, Ctl::TxtPoidsTheo1er},     {Ctl::LblPoidsReel1er, Ctl::TxtPoidsReel1er},
    {Ctl::LblNb1er, Ctl::TxtNb1er},                   {Ctl::LblNbTotalapproxi, Ctl::TxtNbTotalApproxi},
    {Ctl::LblPlusMoins1, Ctl::TxtIncertitude1},       {Ctl::LblEcartMini, Ctl::TxtEcartMini},
    {Ctl::LblEcartMaxi, Ctl::TxtEcartMaxi},           {Ctl::LblEcartChoisi, Ctl::TxtEcartChoisi},
    {Ctl::LblPoidsTheo2eme, Ctl::TxtPoidsTheo2eme},   {Ctl::LblPoidsReel2eme, Ctl::TxtPoidsReel2eme},
    {Ctl::LblNbReel2eme, Ctl::TxtNb2eme},             {Ctl::LblNbTotalCalcule, Ctl::TxtNbTotalCalcule},
    {Ctl::LblPlusMoins2, Ctl::TxtIncertitude2},       {Ctl::LblNbVoulu, Ctl::TxtNbVoulu},
    {Ctl::LblPoidsNbVoulu, Ctl::TxtPoidsNbVoulu},     {Ctl::LblEcartNbVoulu, Ctl::TxtIncertitude3},
}};

}  // namespace

const std::array<ControlSpec, kControlCount>& controlTable() { return kTable; }
const std::array<CaptionOf, 18>& captionTable() { return kCaptions; }
const ControlSpec& controlOf(Ctl id) { return kTable[index(id)]; }
const RoleStyle& styleOf(Role role) { return kRoleStyles[static_cast<std::size_t>(role)]; }

}  // namespace pesolane
