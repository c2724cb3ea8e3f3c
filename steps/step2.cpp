#include "common.h"
#include "form1.h"
#include "steps.h"

namespace pesolane {

// Real weight of the first sample: at least ten times the precision, and
// lighter than the whole quantity.
void pressCmd2(Form1& f) {
    WorkingValues& w = f.values;

    for (Ctl box : {Ctl::TxtNb1er, Ctl::TxtEcartChoisi}) f.setText(box, QString());
    f.setShown({Ctl::LblPds1erFort, Ctl::LblErrNbEcht1, Ctl::LblNbTotalapproxi, Ctl::LblPlusMoins1, Ctl::LblEcartMini,
                Ctl::LblEcartMaxi, Ctl::LblEcartChoisi, Ctl::LblEcartPetit, Ctl::LblEcartGrand,
                Ctl::LblPoidsTheo2eme, Ctl::LblPoidsReel2eme, Ctl::LblPoids2emeFaible, Ctl::LblNbReel2eme,
                Ctl::LblErrNbEcht2, Ctl::LblNbTotalCalcule, Ctl::LblPlusMoins2, Ctl::LblNbVoulu,
                Ctl::LblNbVouluGrand, Ctl::LblErrNbVouluInf1, Ctl::LblPoidsNbVoulu, Ctl::LblPlusMoins3,
                Ctl::LblEcartNbVoulu,
                Ctl::TxtNbTotalApproxi, Ctl::TxtIncertitude1, Ctl::TxtEcartMini, Ctl::TxtEcartMaxi,
                Ctl::TxtEcartChoisi, Ctl::TxtPoidsTheo2eme, Ctl::TxtPoidsReel2eme, Ctl::TxtNb2eme,
                Ctl::TxtNbTotalCalcule, Ctl::TxtIncertitude2, Ctl::TxtNbVoulu, Ctl::TxtPoidsNbVoulu,
                Ctl::TxtIncertitude3,
                Ctl::Cmd4, Ctl::Cmd5, Ctl::Cmd6, Ctl::Cmd7,
                Ctl::Line3, Ctl::Line5, Ctl::Line6, Ctl::Line7},
               false);

    const std::initializer_list<Ctl> nextStep{Ctl::LblNb1er, Ctl::TxtNb1er, Ctl::Cmd3};

    const std::optional<double> weight = readNumber(f, Ctl::TxtPoidsReel1er);
    if (!weight) {
        refuseOutOfRange(f, {Ctl::LblPds1erFaible, Ctl::LblPds1erFort});
        return f.setShown(nextStep, false);
    }
    w.PdsEcht1 = *weight;

    if (!(w.PdsEcht1 >= w.u)) {
        f.setShown(Ctl::LblPds1erFaible, true);
        f.setShown(Ctl::LblPds1erFort, false);
        return f.setShown(nextStep, false);
    }
    if (!(w.PdsEcht1 < w.PdsTot)) {
        f.setShown(Ctl::LblPds1erFaible, false);
        f.setShown(Ctl::LblPds1erFort, true);
        return f.setShown(nextStep, false);
    }
    f.setShown(Ctl::LblPds1erFaible, false);
    f.setShown({Ctl::LblNb1er, Ctl::TxtNb1er, Ctl::Line3, Ctl::Cmd3}, true);
}

}  // namespace pesolane
