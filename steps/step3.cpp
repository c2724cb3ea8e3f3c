#include "common.h"
#include "form1.h"
#include "steps.h"

namespace pesolane {

// Count of the first sample: first estimate of the whole quantity, its
// uncertainty, and the range of deviations the operator may choose.
void pressCmd3(Form1& f) {
    WorkingValues& w = f.values;

    f.setText(Ctl::TxtEcartChoisi, QString());
    f.setShown({Ctl::LblErrNbEcht2, Ctl::LblPds1erFort, Ctl::LblNbVouluGrand, Ctl::LblEcartNbVoulu, Ctl::LblEcartPetit,
                Ctl::LblEcartGrand, Ctl::LblPoidsTheo2eme, Ctl::TxtPoidsTheo2eme, Ctl::LblPoidsReel2eme,
                Ctl::TxtPoidsReel2eme, Ctl::LblPoids2emeFaible, Ctl::Cmd5, Ctl::LblNbReel2eme, Ctl::TxtNb2eme,
                Ctl::Cmd6, Ctl::LblNbTotalCalcule, Ctl::TxtNbTotalCalcule, Ctl::LblPlusMoins2, Ctl::TxtIncertitude2,
                Ctl::LblNbVoulu, Ctl::TxtNbVoulu, Ctl::Cmd7, Ctl::LblPoidsNbVoulu, Ctl::TxtPoidsNbVoulu,
                Ctl::LblPlusMoins3, Ctl::TxtIncertitude3, Ctl::Line6, Ctl::Line7, Ctl::LblErrNbVouluInf1},
               false);

    // What an accepted count shows: the estimate and the choice of a deviation.
    const std::initializer_list<Ctl> step4Group{
        Ctl::LblNbTotalapproxi, Ctl::TxtNbTotalApproxi, Ctl::LblPlusMoins1, Ctl::TxtIncertitude1,
        Ctl::LblEcartMini,      Ctl::TxtEcartMini,      Ctl::LblEcartMaxi,  Ctl::TxtEcartMaxi,
        Ctl::LblEcartChoisi,    Ctl::TxtEcartChoisi,    Ctl::Cmd4,          Ctl::Line5};

    const std::optional<double> count = readNumber(f, Ctl::TxtNb1er);
    if (!count) {
        refuseOutOfRange(f, step4Group);
        return f.setShown(Ctl::LblErrNbEcht1, false);
    }
    w.NbEcht1 = *count;

    if (w.NbEcht1 < 1) {
        f.setShown(step4Group, false);
        f.setShown(Ctl::LblErrNbEcht1, true);
        return;
    }

    const Checked precis(w.precis), total(w.PdsTot), sample(w.PdsEcht1), ten(10.0);
    const Checked nbTot1 = (total * Checked(w.NbEcht1)) / sample;
    const Checked incert1 = ((total + sample) * (precis * nbTot1)) / (total * sample);
    const Checked ecartMini = ((nbTot1 + nbTot1) * precis) / total;
    const Checked ecartMaxi = (((nbTot1 * ten) * precis) + (total * nbTot1)) / (total * ten);
    if (!allSound({nbTot1, incert1, ecartMini, ecartMaxi})) {
        refuseOutOfRange(f, step4Group);
        return f.setShown(Ctl::LblErrNbEcht1, false);
    }

    f.setShown(step4Group, true);
    f.setShown(Ctl::LblErrNbEcht1, false);
    w.NbTot1 = nbTot1.value();
    writeMasked(f, Ctl::TxtNbTotalApproxi, w.NbTot1, kMaskNbTot1);
    w.Incert1 = incert1.value();
    writeMasked(f, Ctl::TxtIncertitude1, w.Incert1, kMaskNbTot1);
    w.EcartMini = ecartMini.value();
    w.EcartMaxi = ecartMaxi.value();
    writeMasked(f, Ctl::TxtEcartMini, w.EcartMini, kMaskEcart);
    writeMasked(f, Ctl::TxtEcartMaxi, w.EcartMaxi, kMaskEcart);
}

}  // namespace pesolane
