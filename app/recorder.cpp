#include "recorder.h"

#include <QFile>
#include <QTimer>

#include "form1.h"
#include "scale_reading.h"

namespace pesolane {
Recorder::Recorder(Form1& form, const ScaleReading& reading, const std::string& path, const QString& article,
                   const QString& problem)
    : QObject(&form), form_(form), reading_(reading), path_(QFile::decodeName(QByteArray::fromStdString(path))),
      problem_(problem), record_(path), article_(article.toStdString()) {
    form.onResults([this](const StepOutcome& o) { keep(o); });
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

void Recorder::keep(const StepOutcome& o) {
    std::string problem;
    if (o.counting) {
        kept_ = {};
        kept_.stamp = stampNow();
    }
    if (!problem_.isEmpty() && (o.counting || o.lot)) {
        untold_ = QStringLiteral("Ce résultat n'a pas été enregistré : %1.").arg(problem_);
    } else if (o.counting) {
        const CountingResult& r = *o.counting;
        const WorkingValues& w = r.used;
        CountingEntry c;
        c.article = article_;
        c.precis = w.precis;
        c.PdsTot = w.PdsTot;
        c.PdsEcht1 = w.PdsEcht1;
        c.NbEcht1 = w.NbEcht1;
        c.EcartChoisi = w.EcartChoisi;
        c.PdsReelEcht2 = w.PdsReelEcht2;
        c.NbEcht2 = w.NbEcht2;
        c.NbTotFinal = r.NbTotFinal;
        c.Incert2 = r.Incert2;
        c.separator = r.separator;
        c.sources = used_;
        for (const std::string& warning : r.warnings)
            c.avertissement += (c.avertissement.empty() ? "" : "\n") + warning;
        problem = record_.addCounting(c, kept_.stamp);
        if (problem.empty()) kept_.number = record_.latestCounting();
        if (!problem.empty())
            untold_ = QStringLiteral("Ce comptage n'a pas été enregistré dans le journal %1 : %2.")
                          .arg(path_, QString::fromStdString(problem));
    } else if (o.lot) {
        const LotEntry lot{o.lot->NbVoulu, o.lot->PdsNbVoulu, o.lot->Incert3, o.lot->separator};
        problem = record_.addLot(lot);
        if (problem.empty()) ++kept_.lots;
        if (!problem.empty())
            untold_ = QStringLiteral("Ce lot n'a pas été enregistré dans le journal %1 : %2.")
                          .arg(path_, QString::fromStdString(problem));
    }
}

}  // namespace pesolane
