// The names of the window's controls, which the steps' rules speak of.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pesolane {

// Every control by name. The 56 controls that can take the keyboard order
// come first, in that order; the seven lines follow.
enum class Ctl : std::uint8_t {
    LblPrecision, LblPoidsTotal, TxtPrecision, TxtPoidsTotal, LblPoidsTheo1er, TxtPoidsTheo1er, Cmd1,
    LblErrPrecision, LblPoidsReel1er, TxtPoidsReel1er, Cmd2, LblPds1erFaible, LblNb1er, TxtNb1er, Cmd3,
    LblNbTotalapproxi, TxtNbTotalApproxi, LblPlusMoins1, TxtIncertitude1, LblEcartMini, TxtEcartMini,
    LblEcartMaxi, TxtEcartMaxi, LblEcartChoisi, TxtEcartChoisi, Cmd4, LblEcartPetit, LblEcartGrand,
    LblPoidsTheo2eme, TxtPoidsTheo2eme, LblPoidsReel2eme, TxtPoidsReel2eme, Cmd5, LblPoids2emeFaible,
    LblNbReel2eme, TxtNb2eme, Cmd6, LblNbTotalCalcule, TxtNbTotalCalcule, LblPlusMoins2, TxtIncertitude2,
    LblNbVoulu, TxtNbVoulu, Cmd7, LblNbVouluGrand, LblPoidsNbVoulu, TxtPoidsNbVoulu, TxtIncertitude3,
    CmdQuitter, LblPlusMoins3, LblEcartNbVoulu, LblErrPrecisionPlus, LblErrNbEcht1, LblErrNbVouluInf1,
    LblPds1erFort, LblErrNbEcht2,
    Line1, Line2, Line3, Line4, Line5, Line6, Line7,
};

inline constexpr std::size_t kControlCount = 63;

}  // namespace pesolane
