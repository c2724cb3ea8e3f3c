#include "recorder.h"

#include <QFile>
#include <QTimer>

#include "form1.h"
#include "scale_reading.h"

namespace pesolane {
namespace {

std::string utf8(const QString& s) { return s.toStdString(); }

}  // namespace

Recorder::Recorder(Form1& form, const ScaleReading& reading, const std::string& path, const QString& article,
                   const QString& problem)
    : QObject(&form), form_(form), reading_(reading), path_(QFile::decodeName(QByteArray::fromStdString(path))),
      problem_(problem), record_(path), article_(utf8(article)) {
    form.onResults([this](Form1&, Ctl step) { keep(step); });
    connect(&form, &Form1::pressed, this, &Recorder::pressed);
    if (!problem_.isEmpty())
        QTimer::singleShot(0, this, [this] {
            form_.reportRecordFailure(
                QStringLiteral("Le journal des comptages n'est pas utilisable : %1 ; aucun comptage ne sera enregistré.")
                    .arg(problem_));
        });
}

void Recorder::pressed(Ctl button) {
    // A weight's source is the one of the value the step used: as the box
    // held it when the step accepted it.
    for (std::size_t i = 0; i < kWeightBoxes.size(); ++i) {
        const WeightBox& w = kWeightBoxes[i];
        if (button == w.step && form_.isShown(w.next)) used_[i] = reading_.readingIn(w.box).value_or(WeightSource{});
    }
    if (untold_.isEmpty()) return;
    form_.reportRecordFailure(untold_);
    untold_.clear();
}

void Recorder::keep(Ctl step) {
    const WorkingValues& w = form_.values;
    std::string problem;
    if (!problem_.isEmpty() && (step == Ctl::Cmd6 || step == Ctl::Cmd7)) {
        untold_ = QStringLiteral("Ce résultat n'a pas été enregistré : %1.").arg(problem_);
    } else if (step == Ctl::Cmd6) {
        CountingEntry c;
        c.article = article_;
        c.precis = w.precis;
        c.PdsTot = w.PdsTot;
        c.PdsEcht1 = w.PdsEcht1;
        c.NbEcht1 = w.NbEcht1;
        c.EcartChoisi = w.EcartChoisi;
        c.PdsReelEcht2 = w.PdsReelEcht2;
        c.NbEcht2 = w.NbEcht2;
        c.NbTotFinal = utf8(form_.text(Ctl::TxtNbTotalCalcule));
        c.Incert2 = utf8(form_.text(Ctl::TxtIncertitude2));
        c.separator = form_.decimalSeparator();
        c.sources = used_;
        problem = record_.addCounting(c);
        if (!problem.empty())
            untold_ = QStringLiteral("Ce comptage n'a pas été enregistré dans le journal %1 : %2.")
                          .arg(path_, QString::fromStdString(problem));
    } else if (step == Ctl::Cmd7) {
        const LotEntry lot{w.NbVoulu, utf8(form_.text(Ctl::TxtPoidsNbVoulu)), utf8(form_.text(Ctl::TxtIncertitude3)),
                           form_.decimalSeparator()};
        problem = record_.addLot(lot);
        if (!problem.empty())
            untold_ = QStringLiteral("Ce lot n'a pas été enregistré dans le journal %1 : %2.")
                          .arg(path_, QString::fromStdString(problem));
    }
}

}  // namespace pesolane
