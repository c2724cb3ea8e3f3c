#include "common.h"
#include "form1.h"
#include "steps.h"

namespace pesolane {

// Real weight of the second sample: at least its theoretical minimum.
void pressCmd5(Form1& f) {
    WorkingValues& w = f.values;

    f.setText(Ctl::TxtNb2eme, QString());
    f.setShown({Ctl::LblNbReel2eme, Ctl::TxtNb2eme, Ctl::Cmd6, Ctl::LblErrNbEcht2, Ctl::LblPds1erFort,
                Ctl::LblEcartNbVoulu, Ctl::LblNbVouluGrand, Ctl::LblNbTotalCalcule, Ctl::TxtNbTotalCalcule,
                Ctl::LblPlusMoins2, Ctl::TxtIncertitude2, Ctl::LblNbVoulu, Ctl::TxtNbVoulu, Ctl::Cmd7,
                Ctl::LblPoidsNbVoulu, Ctl::TxtPoidsNbVoulu, Ctl::LblPlusMoins3, Ctl::TxtIncertitude3, Ctl::Line7,
                Ctl::LblErrNbVouluInf1},
               false);

    const std::optional<double> weight = readNumber(f, Ctl::TxtPoidsReel2eme);
    if (!weight) return refuseOutOfRange(f, {Ctl::LblPoids2emeFaible});
    w.PdsReelEcht2 = *weight;

    if (w.PdsReelEcht2 >= w.v) {
        f.setShown(Ctl::LblPoids2emeFaible, false);
        f.setShown({Ctl::LblNbReel2eme, Ctl::TxtNb2eme, Ctl::Cmd6, Ctl::Line7}, true);
    } else {
        f.setShown(Ctl::LblPoids2emeFaible, true);
    }
}

}  // namespace pesolane
