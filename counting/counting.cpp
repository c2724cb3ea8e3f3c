#include "counting.h"

#include <cmath>
#include <initializer_list>

#include "checked.h"
#include "conversions.h"

namespace pesolane {
namespace {

using C = Ctl;

// What each step empties and hides before it reads, as the window has always
// done it (a few lists hide a control that an earlier list already hid, or one
// that the step itself does not own: kept as they are).
constexpr Ctl kEmptied1[] = {C::TxtPoidsReel1er, C::TxtNb1er, C::TxtEcartChoisi};
constexpr Ctl kHidden1[] = {
    C::LblPoidsTheo1er, C::LblPoidsReel1er, C::LblPds1erFaible, C::LblPds1erFort, C::LblNb1er, C::LblErrNbEcht1,
    C::LblNbTotalapproxi, C::LblPlusMoins1, C::LblEcartMini, C::LblEcartMaxi, C::LblEcartChoisi, C::LblEcartPetit,
    C::LblEcartGrand, C::LblPoidsTheo2eme, C::LblPoidsReel2eme, C::LblPoids2emeFaible, C::LblNbReel2eme,
    C::LblErrNbEcht2, C::LblNbTotalCalcule, C::LblPlusMoins2, C::LblNbVoulu, C::LblNbVouluGrand,
    C::LblErrNbVouluInf1, C::LblPoidsNbVoulu, C::LblPlusMoins3, C::LblEcartNbVoulu, C::TxtPoidsTheo1er,
    C::TxtPoidsReel1er, C::TxtNb1er, C::TxtNbTotalApproxi, C::TxtIncertitude1, C::TxtEcartMini, C::TxtEcartMaxi,
    C::TxtEcartChoisi, C::TxtPoidsTheo2eme, C::TxtPoidsReel2eme, C::TxtNb2eme, C::TxtNbTotalCalcule,
    C::TxtIncertitude2, C::TxtNbVoulu, C::TxtPoidsNbVoulu, C::TxtIncertitude3, C::Cmd2, C::Cmd3, C::Cmd4, C::Cmd5,
    C::Cmd6, C::Cmd7, C::Line2, C::Line3, C::Line5, C::Line6, C::Line7};

constexpr Ctl kEmptied2[] = {C::TxtNb1er, C::TxtEcartChoisi};
constexpr Ctl kHidden2[] = {
    C::LblPds1erFort, C::LblErrNbEcht1, C::LblNbTotalapproxi, C::LblPlusMoins1, C::LblEcartMini, C::LblEcartMaxi,
    C::LblEcartChoisi, C::LblEcartPetit, C::LblEcartGrand, C::LblPoidsTheo2eme, C::LblPoidsReel2eme,
    C::LblPoids2emeFaible, C::LblNbReel2eme, C::LblErrNbEcht2, C::LblNbTotalCalcule, C::LblPlusMoins2, C::LblNbVoulu,
    C::LblNbVouluGrand, C::LblErrNbVouluInf1, C::LblPoidsNbVoulu, C::LblPlusMoins3, C::LblEcartNbVoulu,
    C::TxtNbTotalApproxi, C::TxtIncertitude1, C::TxtEcartMini, C::TxtEcartMaxi, C::TxtEcartChoisi,
    C::TxtPoidsTheo2eme, C::TxtPoidsReel2eme, C::TxtNb2eme, C::TxtNbTotalCalcule, C::TxtIncertitude2, C::TxtNbVoulu,
    C::TxtPoidsNbVoulu, C::TxtIncertitude3, C::Cmd4, C::Cmd5, C::Cmd6, C::Cmd7, C::Line3, C::Line5, C::Line6,
    C::Line7};

constexpr Ctl kEmptied3[] = {C::TxtEcartChoisi};
constexpr Ctl kHidden3[] = {
    C::LblErrNbEcht2, C::LblPds1erFort, C::LblNbVouluGrand, C::LblEcartNbVoulu, C::LblEcartPetit, C::LblEcartGrand,
    C::LblPoidsTheo2eme, C::TxtPoidsTheo2eme, C::LblPoidsReel2eme, C::TxtPoidsReel2eme, C::LblPoids2emeFaible,
    C::Cmd5, C::LblNbReel2eme, C::TxtNb2eme, C::Cmd6, C::LblNbTotalCalcule, C::TxtNbTotalCalcule, C::LblPlusMoins2,
    C::TxtIncertitude2, C::LblNbVoulu, C::TxtNbVoulu, C::Cmd7, C::LblPoidsNbVoulu, C::TxtPoidsNbVoulu,
    C::LblPlusMoins3, C::TxtIncertitude3, C::Line6, C::Line7, C::LblErrNbVouluInf1};

// Step 4 also takes away the second sample's weights, whatever its outcome,
// until a deviation is accepted.
constexpr Ctl kEmptied4[] = {C::TxtPoidsReel2eme, C::TxtPoidsTheo2eme};
constexpr Ctl kHidden4[] = {
    C::LblErrNbEcht2, C::LblPds1erFort, C::LblEcartNbVoulu, C::LblPoids2emeFaible, C::LblNbVouluGrand,
    C::LblNbReel2eme, C::TxtNb2eme, C::Cmd6, C::LblNbTotalCalcule, C::TxtNbTotalCalcule, C::LblPlusMoins2,
    C::TxtIncertitude2, C::Line7, C::LblNbVoulu, C::TxtNbVoulu, C::Cmd7, C::LblPoidsNbVoulu, C::TxtPoidsNbVoulu,
    C::LblPlusMoins3, C::TxtIncertitude3, C::Line6, C::LblErrNbVouluInf1, C::LblPoidsTheo2eme, C::TxtPoidsTheo2eme,
    C::LblPoidsReel2eme, C::TxtPoidsReel2eme, C::Cmd5};

constexpr Ctl kEmptied5[] = {C::TxtNb2eme};
constexpr Ctl kHidden5[] = {
    C::LblNbReel2eme, C::TxtNb2eme, C::Cmd6, C::LblErrNbEcht2, C::LblPds1erFort, C::LblEcartNbVoulu,
    C::LblNbVouluGrand, C::LblNbTotalCalcule, C::TxtNbTotalCalcule, C::LblPlusMoins2, C::TxtIncertitude2,
    C::LblNbVoulu, C::TxtNbVoulu, C::Cmd7, C::LblPoidsNbVoulu, C::TxtPoidsNbVoulu, C::LblPlusMoins3,
    C::TxtIncertitude3, C::Line7, C::LblErrNbVouluInf1};

constexpr Ctl kEmptied6[] = {C::TxtNbVoulu};
constexpr Ctl kHidden6[] = {
    C::LblNbVoulu, C::TxtNbVoulu, C::Cmd7, C::LblNbTotalCalcule, C::TxtNbTotalCalcule, C::LblPlusMoins2,
    C::TxtIncertitude2, C::LblPds1erFort, C::LblEcartNbVoulu, C::LblNbVouluGrand, C::LblPoidsNbVoulu,
    C::TxtPoidsNbVoulu, C::LblPlusMoins3, C::TxtIncertitude3, C::LblErrNbVouluInf1};

const StepReset kResets[] = {
    {C::Cmd1, kEmptied1, kHidden1}, {C::Cmd2, kEmptied2, kHidden2}, {C::Cmd3, kEmptied3, kHidden3},
    {C::Cmd4, kEmptied4, kHidden4}, {C::Cmd5, kEmptied5, kHidden5}, {C::Cmd6, kEmptied6, kHidden6},
    {C::Cmd7, {}, {}},
};

int stepIndex(Ctl step) { return static_cast<int>(&resetOf(step) - kResets); }

// A press under way: the reset done, the outcome still to say.
struct Press {
    StepOutcome o;

    Press(Ctl step, const CountingState& s) {
        o.step = step;
        o.state = s;
        const StepReset& r = resetOf(step);
        o.emptied.assign(r.emptied.begin(), r.emptied.end());
        o.hidden.assign(r.hidden.begin(), r.hidden.end());
        // What was told of this step's input and of every later one no longer holds.
        for (std::size_t i = static_cast<std::size_t>(stepIndex(step)); i < o.state.told.size(); ++i)
            o.state.told[i].clear();
    }
    WorkingValues& values() { return o.state.values; }

    void hide(std::initializer_list<Ctl> controls) { o.hidden.insert(o.hidden.end(), controls); }
    void show(std::initializer_list<Ctl> controls) { o.shown.insert(o.shown.end(), controls); }
    void write(Ctl box, std::string text) { o.written.push_back({box, std::move(text)}); }

    // Refused: the other labels hidden, then `error` shown.
    StepOutcome refuse(Ctl error, std::initializer_list<Ctl> alsoHidden) {
        hide(alsoHidden);
        show({error});
        o.verdict = StepVerdict::Refused;
        return std::move(o);
    }
    // Beyond the range of the calculation: what the press would have shown is withdrawn.
    StepOutcome outOfRange(std::initializer_list<Ctl> withdrawn) {
        hide(withdrawn);
        o.verdict = StepVerdict::OutOfRange;
        return std::move(o);
    }
    // Accepted: what was read other than as typed is told.
    StepOutcome accept(std::initializer_list<std::string_view> typed) {
        std::string told;
        for (std::string_view t : typed)
            if (std::string note = readOtherThanTyped(t); !note.empty()) {
                if (!told.empty()) told += '\n';
                told += note;
            }
        if (!told.empty()) o.told.push_back(told);
        o.state.told[static_cast<std::size_t>(stepIndex(o.step))] = std::move(told);
        o.verdict = StepVerdict::Accepted;
        return std::move(o);
    }
};

// The number typed in a box; empty when beyond the double range.
std::optional<double> readNumber(std::string_view typed) {
    const LeadingRead r = LeadingNumber(typed);
    if (r.outOfRange) return std::nullopt;
    return r.value;
}

bool allSound(std::initializer_list<Checked> results) {
    for (const Checked& r : results)
        if (!r.ok()) return false;
    return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimmed(std::string_view t) {
    while (!t.empty() && isBlank(t.front())) t.remove_prefix(1);
    while (!t.empty() && isBlank(t.back())) t.remove_suffix(1);
    return t;
}

// A typed text as quoted back to the operator: a long one (a paste) cut after
// 40 bytes, between two UTF-8 characters, with an ellipsis.
std::string quoted(std::string_view t) {
    t = trimmed(t);
    if (t.size() <= 40) return std::string(t);
    std::size_t cut = 40;
    while (cut > 0 && (static_cast<unsigned char>(t[cut]) & 0xC0) == 0x80) --cut;
    return std::string(t.substr(0, cut)) + "…";
}

}  // namespace

const StepReset& resetOf(Ctl step) {
    for (const StepReset& r : kResets)
        if (r.step == step) return r;
    return kResets[6];
}

std::string readOtherThanTyped(std::string_view typed) {
    const LeadingRead r = LeadingNumber(typed);
    std::string_view rest = typed.substr(r.end);
    if (trimmed(rest).empty()) return {};
    const std::string shown = "« " + quoted(typed) + " » est lu " + LocaleText(r.value, ".");
    // A decimal comma: the number as it should have been typed, with its point.
    const std::string_view read = typed.substr(0, r.end);
    if (r.end > 0 && read.find_first_of(".eE") == std::string_view::npos && rest.size() >= 2 && rest[0] == ',' &&
        isDigit(rest[1])) {
        std::size_t digits = 1;
        while (digits < rest.size() && isDigit(rest[digits])) ++digits;
        const std::string pointed = std::string(read) + "." + std::string(rest.substr(1, digits - 1));
        return shown + " : le séparateur décimal est le point (" + quoted(pointed) + ").";
    }
    return shown + ".";
}

std::string estimatesDisagree(const WorkingValues& v, std::string_view separator) {
    // Each uncertainty bounds what the scale's precision can do to its estimate:
    // further apart than both together, a count or a weight is wrong.
    if (!(std::fabs(v.NbTotFinal - v.NbTot1) > v.Incert1 + v.Incert2)) return {};
    return "Le nombre final (" + MaskedText(v.NbTotFinal, kMaskNbTotFinal, separator) +
           ") et la première estimation (" + MaskedText(v.NbTot1, kMaskNbTot1, separator) + " ± " +
           MaskedText(v.Incert1, kMaskNbTot1, separator) +
           ") s'écartent plus que leurs incertitudes ne le permettent : recomptez les pièces des échantillons, ou "
           "vérifiez leurs poids.";
}

// Precision of the scale and total weight: every press restarts the counting.
StepOutcome step1(const CountingState& s, std::string_view precision, std::string_view total,
                  std::string_view separator) {
    Press p(C::Cmd1, s);
    WorkingValues& w = p.values();
    const std::optional<double> precis = readNumber(precision);
    if (!precis) return p.outOfRange({C::LblErrPrecisionPlus, C::LblErrPrecision});
    w.precis = *precis;
    if (!(w.precis > 0)) return p.refuse(C::LblErrPrecisionPlus, {C::LblErrPrecision});

    const std::optional<double> pdsTot = readNumber(total);
    if (!pdsTot) return p.outOfRange({C::LblErrPrecisionPlus, C::LblErrPrecision});
    w.PdsTot = *pdsTot;

    // Ten times the precision: the lightest first sample the scale can weigh well.
    const Checked u = Checked(w.precis) * Checked(10.0);
    if (!u.ok()) return p.outOfRange({C::LblErrPrecisionPlus, C::LblErrPrecision});
    w.u = u.value();
    if (!(w.PdsTot >= w.u)) return p.refuse(C::LblErrPrecision, {C::LblErrPrecisionPlus, C::Line2});

    p.hide({C::LblErrPrecisionPlus, C::LblErrPrecision});
    p.write(C::TxtPoidsTheo1er, LocaleText(w.u, separator));
    p.show({C::TxtPoidsTheo1er, C::LblPoidsTheo1er, C::LblPoidsReel1er, C::TxtPoidsReel1er, C::Cmd2, C::Line1,
            C::Line2});
    return p.accept({precision, total});
}

// Real weight of the first sample: at least ten times the precision, and
// lighter than the whole quantity.
StepOutcome step2(const CountingState& s, std::string_view weight, std::string_view) {
    Press p(C::Cmd2, s);
    WorkingValues& w = p.values();
    const std::optional<double> pds = readNumber(weight);
    if (!pds) return p.outOfRange({C::LblPds1erFaible, C::LblPds1erFort, C::LblNb1er, C::TxtNb1er, C::Cmd3});
    w.PdsEcht1 = *pds;
    if (!(w.PdsEcht1 >= w.u)) return p.refuse(C::LblPds1erFaible, {C::LblPds1erFort, C::LblNb1er, C::TxtNb1er, C::Cmd3});
    if (!(w.PdsEcht1 < w.PdsTot)) return p.refuse(C::LblPds1erFort, {C::LblPds1erFaible, C::LblNb1er, C::TxtNb1er, C::Cmd3});
    p.hide({C::LblPds1erFaible});
    p.show({C::LblNb1er, C::TxtNb1er, C::Line3, C::Cmd3});
    return p.accept({weight});
}

// Count of the first sample: first estimate of the whole quantity, its
// uncertainty, and the range of deviations the operator may choose.
StepOutcome step3(const CountingState& s, std::string_view count, std::string_view separator) {
    Press p(C::Cmd3, s);
    WorkingValues& w = p.values();
    // What an accepted count shows: the estimate and the choice of a deviation.
    const std::initializer_list<Ctl> step4 = {C::LblNbTotalapproxi, C::TxtNbTotalApproxi, C::LblPlusMoins1,
                                              C::TxtIncertitude1,   C::LblEcartMini,      C::TxtEcartMini,
                                              C::LblEcartMaxi,      C::TxtEcartMaxi,      C::LblEcartChoisi,
                                              C::TxtEcartChoisi,    C::Cmd4,              C::Line5};
    const auto withdraw = [&] {
        p.hide(step4);
        return p.outOfRange({C::LblErrNbEcht1});
    };
    const std::optional<double> nb = readNumber(count);
    if (!nb) return withdraw();
    w.NbEcht1 = *nb;
    if (w.NbEcht1 < 1) {
        p.hide(step4);
        return p.refuse(C::LblErrNbEcht1, {});
    }

    const Checked precis(w.precis), total(w.PdsTot), sample(w.PdsEcht1), ten(10.0);
    const Checked nbTot1 = (total * Checked(w.NbEcht1)) / sample;
    const Checked incert1 = ((total + sample) * (precis * nbTot1)) / (total * sample);
    const Checked ecartMini = ((nbTot1 + nbTot1) * precis) / total;
    const Checked ecartMaxi = (((nbTot1 * ten) * precis) + (total * nbTot1)) / (total * ten);
    if (!allSound({nbTot1, incert1, ecartMini, ecartMaxi})) return withdraw();

    w.NbTot1 = nbTot1.value();
    w.Incert1 = incert1.value();
    w.EcartMini = ecartMini.value();
    w.EcartMaxi = ecartMaxi.value();
    p.hide({C::LblErrNbEcht1});
    p.write(C::TxtNbTotalApproxi, MaskedText(w.NbTot1, kMaskNbTot1, separator));
    p.write(C::TxtIncertitude1, MaskedText(w.Incert1, kMaskNbTot1, separator));
    p.write(C::TxtEcartMini, MaskedText(w.EcartMini, kMaskEcart, separator));
    p.write(C::TxtEcartMaxi, MaskedText(w.EcartMaxi, kMaskEcart, separator));
    p.show(step4);
    return p.accept({count});
}

// Chosen deviation: within the admissible range it sizes the second sample.
StepOutcome step4(const CountingState& s, std::string_view deviation, std::string_view separator) {
    Press p(C::Cmd4, s);
    WorkingValues& w = p.values();
    const std::optional<double> chosen = readNumber(deviation);
    if (!chosen) return p.outOfRange({C::LblEcartPetit, C::LblEcartGrand});
    w.EcartChoisi = *chosen;
    if (w.EcartChoisi < w.EcartMini) return p.refuse(C::LblEcartPetit, {C::LblEcartGrand});
    if (w.EcartChoisi > w.EcartMaxi) return p.refuse(C::LblEcartGrand, {C::LblEcartPetit});
    p.hide({C::LblEcartPetit, C::LblEcartGrand});

    const Checked nbTot1(w.NbTot1), precis(w.precis), total(w.PdsTot);
    const Checked pdsEcht2 = ((nbTot1 * precis) * total) / ((total * Checked(w.EcartChoisi)) - (nbTot1 * precis));
    if (!pdsEcht2.ok()) return p.outOfRange({});

    w.PdsEcht2 = pdsEcht2.value();
    w.v = w.PdsEcht2;
    p.write(C::TxtPoidsTheo2eme, MaskedText(w.PdsEcht2, kMaskPdsEcht2, separator));
    p.show({C::LblPoidsTheo2eme, C::TxtPoidsTheo2eme, C::LblPoidsReel2eme, C::TxtPoidsReel2eme, C::Cmd5, C::Line6});
    return p.accept({deviation});
}

// Real weight of the second sample: at least its theoretical minimum.
StepOutcome step5(const CountingState& s, std::string_view weight, std::string_view) {
    Press p(C::Cmd5, s);
    WorkingValues& w = p.values();
    const std::optional<double> pds = readNumber(weight);
    if (!pds) return p.outOfRange({C::LblPoids2emeFaible});
    w.PdsReelEcht2 = *pds;
    if (!(w.PdsReelEcht2 >= w.v)) return p.refuse(C::LblPoids2emeFaible, {});
    p.hide({C::LblPoids2emeFaible});
    p.show({C::LblNbReel2eme, C::TxtNb2eme, C::Cmd6, C::Line7});
    return p.accept({weight});
}

// Count of the second sample: the final count and its uncertainty, checked
// against the first estimate.
StepOutcome step6(const CountingState& s, std::string_view count, std::string_view separator) {
    Press p(C::Cmd6, s);
    WorkingValues& w = p.values();
    const std::optional<double> nb = readNumber(count);
    if (!nb) return p.outOfRange({C::LblErrNbEcht2});
    w.NbEcht2 = *nb;
    if (w.NbEcht2 < 1) return p.refuse(C::LblErrNbEcht2, {});
    p.hide({C::LblErrNbEcht2});

    const Checked precis(w.precis), total(w.PdsTot), sample(w.PdsReelEcht2);
    const Checked nbTotFinal = (Checked(w.NbEcht2) * total) / sample;
    const Checked incert2 = ((precis * nbTotFinal) * (sample + total)) / (sample * total);
    if (!allSound({nbTotFinal, incert2})) return p.outOfRange({});

    w.NbTotFinal = nbTotFinal.value();
    w.Incert2 = incert2.value();
    CountingResult r{w, MaskedText(w.NbTotFinal, kMaskNbTotFinal, separator),
                     MaskedText(w.Incert2, kMaskIncert, separator), std::string(separator), {}};
    p.write(C::TxtNbTotalCalcule, r.NbTotFinal);
    p.write(C::TxtIncertitude2, r.Incert2);
    p.show({C::LblNbTotalCalcule, C::TxtNbTotalCalcule, C::LblPlusMoins2, C::TxtIncertitude2, C::LblNbVoulu,
            C::TxtNbVoulu, C::Cmd7});
    StepOutcome o = p.accept({count});
    if (std::string disagree = estimatesDisagree(w, separator); !disagree.empty()) {
        if (o.told.empty()) o.told.emplace_back();
        else o.told.back() += '\n';
        o.told.back() += disagree;
    }
    // What was told of every input of this counting, and of its result, goes with it.
    for (std::size_t i = 0; i < 5; ++i)
        if (!o.state.told[i].empty()) r.warnings.push_back(o.state.told[i]);
    for (const std::string& t : o.told) r.warnings.push_back(t);
    o.counting = std::move(r);
    return o;
}

// Weight of a lot of a wanted number of pieces, and the uncertainty of the
// count of such a lot. Each outcome sets every control the step owns.
StepOutcome step7(const CountingState& s, std::string_view wanted, std::string_view separator) {
    Press p(C::Cmd7, s);
    WorkingValues& w = p.values();
    const auto withdrawResults = [&] {
        p.o.emptied.insert(p.o.emptied.end(), {C::TxtPoidsNbVoulu, C::TxtIncertitude3});
        p.hide({C::LblPoidsNbVoulu, C::LblEcartNbVoulu, C::LblPlusMoins3, C::TxtPoidsNbVoulu, C::TxtIncertitude3});
    };
    const std::optional<double> nb = readNumber(wanted);
    if (!nb) {
        withdrawResults();
        return p.outOfRange({C::LblNbVouluGrand, C::LblErrNbVouluInf1});
    }
    w.NbVoulu = *nb;
    if (w.NbVoulu < 1) {
        withdrawResults();
        return p.refuse(C::LblErrNbVouluInf1, {C::LblNbVouluGrand});
    }
    if (w.NbVoulu > w.NbTotFinal) {
        withdrawResults();
        return p.refuse(C::LblNbVouluGrand, {C::LblErrNbVouluInf1});
    }

    const Checked precis(w.precis), sample(w.PdsReelEcht2), wantedCount(w.NbVoulu);
    const Checked lotWeight = (sample * wantedCount) / Checked(w.NbEcht2);
    const Checked incert3 = ((precis * wantedCount) * (lotWeight + sample)) / (lotWeight * sample);
    if (!allSound({lotWeight, incert3})) {
        withdrawResults();
        return p.outOfRange({C::LblNbVouluGrand, C::LblErrNbVouluInf1});
    }

    w.PdsNbVoulu = lotWeight.value();
    w.Incert3 = incert3.value();
    LotResult lot{w.NbVoulu, MaskedText(w.PdsNbVoulu, kMaskPdsNbVoulu, separator),
                  MaskedText(w.Incert3, kMaskIncert, separator), std::string(separator)};
    p.write(C::TxtPoidsNbVoulu, lot.PdsNbVoulu);
    p.write(C::TxtIncertitude3, lot.Incert3);
    p.hide({C::LblErrNbVouluInf1, C::LblNbVouluGrand});
    p.show({C::LblEcartNbVoulu, C::LblPoidsNbVoulu, C::TxtPoidsNbVoulu, C::LblPlusMoins3, C::TxtIncertitude3});
    StepOutcome o = p.accept({wanted});
    o.lot = std::move(lot);
    return o;
}

}  // namespace pesolane
