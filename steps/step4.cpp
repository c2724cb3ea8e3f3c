#include "common.h"
#include "form1.h"
#include "steps.h"

namespace pesolane {

// Chosen deviation: within the admissible range it sizes the second sample.
void pressCmd4(Form1& f) {
    WorkingValues& w = f.values;

    f.setText(Ctl::TxtPoidsReel2eme, QString());
    f.setShown({Ctl::LblErrNbEcht2, Ctl::LblPds1erFort, Ctl::LblEcartNbVoulu, Ctl::LblPoids2emeFaible,
                Ctl::LblNbVouluGrand, Ctl::LblNbReel2eme, Ctl::TxtNb2eme, Ctl::Cmd6, Ctl::LblNbTotalCalcule,
                Ctl::TxtNbTotalCalcule, Ctl::LblPlusMoins2, Ctl::TxtIncertitude2, Ctl::Line7, Ctl::LblNbVoulu,
                Ctl::TxtNbVoulu, Ctl::Cmd7, Ctl::LblPoidsNbVoulu, Ctl::TxtPoidsNbVoulu, Ctl::LblPlusMoins3,
                Ctl::TxtIncertitude3, Ctl::Line6, Ctl::LblErrNbVouluInf1},
               false);

    const std::optional<double> chosen = readNumber(f, Ctl::TxtEcartChoisi);

    // Whatever the outcome, the second sample's weights go until a deviation is accepted.
    f.setText(Ctl::TxtPoidsTheo2eme, QString());
    f.setShown({Ctl::LblPoidsTheo2eme, Ctl::TxtPoidsTheo2eme, Ctl::LblPoidsReel2eme, Ctl::TxtPoidsReel2eme, Ctl::Cmd5},
               false);

    if (!chosen) return refuseOutOfRange(f, {Ctl::LblEcartPetit, Ctl::LblEcartGrand});
    w.EcartChoisi = *chosen;

    if (w.EcartChoisi < w.EcartMini) {
        f.setShown(Ctl::LblEcartPetit, true);
        f.setShown(Ctl::LblEcartGrand, false);
        return;
    }
    f.setShown(Ctl::LblEcartPetit, false);
    if (w.EcartChoisi > w.EcartMaxi) {
        f.setShown(Ctl::LblEcartGrand, true);
        return;
    }
    f.setShown(Ctl::LblEcartGrand, false);

    const Checked nbTot1(w.NbTot1), precis(w.precis), total(w.PdsTot);
    const Checked pdsEcht2 = ((nbTot1 * precis) * total) / ((total * Checked(w.EcartChoisi)) - (nbTot1 * precis));
    if (!pdsEcht2.ok()) return refuseOutOfRange(f, {});

    w.PdsEcht2 = pdsEcht2.value();
    f.setShown({Ctl::LblPoidsTheo2eme, Ctl::TxtPoidsTheo2eme}, true);
    writeMasked(f, Ctl::TxtPoidsTheo2eme, w.PdsEcht2, kMaskPdsEcht2);
    f.setShown({Ctl::LblPoidsReel2eme, Ctl::TxtPoidsReel2eme, Ctl::Cmd5, Ctl::Line6}, true);
    w.v = w.PdsEcht2;
}

}  // namespace pesolane
