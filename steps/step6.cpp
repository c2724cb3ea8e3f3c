#include "common.h"
#include "form1.h"
#include "steps.h"

namespace pesolane {

// Count of the second sample: the final count and its uncertainty.
void pressCmd6(Form1& f) {
    WorkingValues& w = f.values;

    f.setText(Ctl::TxtNbVoulu, QString());
    f.setShown({Ctl::LblNbVoulu, Ctl::TxtNbVoulu, Ctl::Cmd7, Ctl::LblNbTotalCalcule, Ctl::TxtNbTotalCalcule,
                Ctl::LblPlusMoins2, Ctl::TxtIncertitude2, Ctl::LblPds1erFort, Ctl::LblEcartNbVoulu,
                Ctl::LblNbVouluGrand, Ctl::LblPoidsNbVoulu, Ctl::TxtPoidsNbVoulu, Ctl::LblPlusMoins3,
                Ctl::TxtIncertitude3, Ctl::LblErrNbVouluInf1},
               false);

    const std::optional<double> count = readNumber(f, Ctl::TxtNb2eme);
    if (!count) return refuseOutOfRange(f, {Ctl::LblErrNbEcht2});
    w.NbEcht2 = *count;

    if (w.NbEcht2 < 1) {
        f.setShown(Ctl::LblErrNbEcht2, true);
        return;
    }
    f.setShown(Ctl::LblErrNbEcht2, false);

    const Checked precis(w.precis), total(w.PdsTot), sample(w.PdsReelEcht2);
    const Checked nbTotFinal = (Checked(w.NbEcht2) * total) / sample;
    const Checked incert2 = ((precis * nbTotFinal) * (sample + total)) / (sample * total);
    if (!allSound({nbTotFinal, incert2})) return refuseOutOfRange(f, {});

    w.NbTotFinal = nbTotFinal.value();
    writeMasked(f, Ctl::TxtNbTotalCalcule, w.NbTotFinal, kMaskNbTotFinal);
    w.Incert2 = incert2.value();
    writeMasked(f, Ctl::TxtIncertitude2, w.Incert2, kMaskIncert);
    f.resultsReady(Ctl::Cmd6);  // kept before the operator sees it
    f.setShown({Ctl::LblNbTotalCalcule, Ctl::TxtNbTotalCalcule, Ctl::LblPlusMoins2, Ctl::TxtIncertitude2}, true);
    f.setShown({Ctl::LblNbVoulu, Ctl::TxtNbVoulu, Ctl::Cmd7}, true);
}

}  // namespace pesolane
