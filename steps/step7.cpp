#include "common.h"
#include "form1.h"
#include "steps.h"

namespace pesolane {

// Weight of a lot of a wanted number of pieces, and the uncertainty of the
// count of such a lot. Each outcome sets every control the step owns.
void pressCmd7(Form1& f) {
    WorkingValues& w = f.values;

    const std::initializer_list<Ctl> results{Ctl::LblPoidsNbVoulu, Ctl::LblEcartNbVoulu, Ctl::LblPlusMoins3,
                                             Ctl::TxtPoidsNbVoulu, Ctl::TxtIncertitude3};
    const auto withdrawResults = [&] {
        f.setText(Ctl::TxtPoidsNbVoulu, QString());
        f.setText(Ctl::TxtIncertitude3, QString());
        f.setShown(results, false);
    };

    const std::optional<double> wanted = readNumber(f, Ctl::TxtNbVoulu);
    if (!wanted) {
        withdrawResults();
        return refuseOutOfRange(f, {Ctl::LblNbVouluGrand, Ctl::LblErrNbVouluInf1});
    }
    w.NbVoulu = *wanted;

    if (w.NbVoulu < 1) {
        withdrawResults();
        f.setShown(Ctl::LblNbVouluGrand, false);
        f.setShown(Ctl::LblErrNbVouluInf1, true);
        return;
    }
    if (w.NbVoulu > w.NbTotFinal) {
        withdrawResults();
        f.setShown(Ctl::LblErrNbVouluInf1, false);
        f.setShown(Ctl::LblNbVouluGrand, true);
        return;
    }

    const Checked precis(w.precis), sample(w.PdsReelEcht2), wantedCount(w.NbVoulu);
    const Checked lotWeight = (sample * wantedCount) / Checked(w.NbEcht2);
    const Checked incert3 = ((precis * wantedCount) * (lotWeight + sample)) / (lotWeight * sample);
    if (!allSound({lotWeight, incert3})) {
        withdrawResults();
        return refuseOutOfRange(f, {Ctl::LblNbVouluGrand, Ctl::LblErrNbVouluInf1});
    }

    w.PdsNbVoulu = lotWeight.value();
    writeMasked(f, Ctl::TxtPoidsNbVoulu, w.PdsNbVoulu, kMaskPdsNbVoulu);
    w.Incert3 = incert3.value();
    writeMasked(f, Ctl::TxtIncertitude3, w.Incert3, kMaskIncert);
    f.resultsReady(Ctl::Cmd7);  // kept before the operator sees it
    f.setShown({Ctl::LblErrNbVouluInf1, Ctl::LblNbVouluGrand}, false);
    f.setShown({Ctl::LblEcartNbVoulu, Ctl::LblPoidsNbVoulu, Ctl::TxtPoidsNbVoulu, Ctl::LblPlusMoins3,
                Ctl::TxtIncertitude3},
               true);
}

}  // namespace pesolane
