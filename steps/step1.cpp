#include "common.h"
#include "form1.h"
#include "steps.h"

namespace pesolane {

// Precision of the scale and total weight: every press restarts the counting.
void pressCmd1(Form1& f) {
    WorkingValues& w = f.values;

    for (Ctl box : {Ctl::TxtPoidsReel1er, Ctl::TxtNb1er, Ctl::TxtEcartChoisi}) f.setText(box, QString());
    f.setShown({Ctl::LblPoidsTheo1er, Ctl::LblPoidsReel1er, Ctl::LblPds1erFaible, Ctl::LblPds1erFort, Ctl::LblNb1er,
                Ctl::LblErrNbEcht1, Ctl::LblNbTotalapproxi, Ctl::LblPlusMoins1, Ctl::LblEcartMini, Ctl::LblEcartMaxi,
                Ctl::LblEcartChoisi, Ctl::LblEcartPetit, Ctl::LblEcartGrand, Ctl::LblPoidsTheo2eme,
                Ctl::LblPoidsReel2eme, Ctl::LblPoids2emeFaible, Ctl::LblNbReel2eme, Ctl::LblErrNbEcht2,
                Ctl::LblNbTotalCalcule, Ctl::LblPlusMoins2, Ctl::LblNbVoulu, Ctl::LblNbVouluGrand,
                Ctl::LblErrNbVouluInf1, Ctl::LblPoidsNbVoulu, Ctl::LblPlusMoins3, Ctl::LblEcartNbVoulu,
                Ctl::TxtPoidsTheo1er, Ctl::TxtPoidsReel1er, Ctl::TxtNb1er, Ctl::TxtNbTotalApproxi,
                Ctl::TxtIncertitude1, Ctl::TxtEcartMini, Ctl::TxtEcartMaxi, Ctl::TxtEcartChoisi,
                Ctl::TxtPoidsTheo2eme, Ctl::TxtPoidsReel2eme, Ctl::TxtNb2eme, Ctl::TxtNbTotalCalcule,
                Ctl::TxtIncertitude2, Ctl::TxtNbVoulu, Ctl::TxtPoidsNbVoulu, Ctl::TxtIncertitude3,
                Ctl::Cmd2, Ctl::Cmd3, Ctl::Cmd4, Ctl::Cmd5, Ctl::Cmd6, Ctl::Cmd7,
                Ctl::Line2, Ctl::Line3, Ctl::Line5, Ctl::Line6, Ctl::Line7},
               false);

    const std::initializer_list<Ctl> ownErrors{Ctl::LblErrPrecisionPlus, Ctl::LblErrPrecision};

    const std::optional<double> precis = readNumber(f, Ctl::TxtPrecision);
    if (!precis) return refuseOutOfRange(f, ownErrors);
    w.precis = *precis;
    if (!(w.precis > 0)) {
        f.setShown(Ctl::LblErrPrecision, false);
        f.setShown(Ctl::LblErrPrecisionPlus, true);
        return;
    }

    const std::optional<double> total = readNumber(f, Ctl::TxtPoidsTotal);
    if (!total) return refuseOutOfRange(f, ownErrors);
    w.PdsTot = *total;

    // Ten times the precision: the lightest first sample the scale can weigh well.
    const Checked u = Checked(w.precis) * Checked(10.0);
    if (!u.ok()) return refuseOutOfRange(f, ownErrors);
    w.u = u.value();

    if (!(w.PdsTot >= w.u)) {
        f.setShown(Ctl::LblErrPrecisionPlus, false);
        f.setShown(Ctl::LblErrPrecision, true);
        f.setShown(Ctl::Line2, false);
        return;
    }

    f.setShown(ownErrors, false);
    f.setShown({Ctl::TxtPoidsTheo1er, Ctl::LblPoidsTheo1er}, true);
    writeLocale(f, Ctl::TxtPoidsTheo1er, w.u);
    f.setShown({Ctl::LblPoidsReel1er, Ctl::TxtPoidsReel1er, Ctl::Cmd2, Ctl::Line1, Ctl::Line2}, true);
}

}  // namespace pesolane
