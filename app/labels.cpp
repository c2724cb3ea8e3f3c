#include "labels.h"

#include <QCompleter>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "conversions.h"
#include "counting.h"
#include "form1.h"
#include "record.h"
#include "recorder.h"
#include "scale_reading.h"

namespace pesolane {

Labels::Labels(Form1& form, const ScaleReading& reading, Recorder* recorder, const LabelSettings& settings,
               const QString& article, const QString& recordPath)
    : QObject(&form), form_(form), reading_(reading), recorder_(recorder), printer_(settings), article_(article),
      recordPath_(recordPath) {
    // After the record's own hook: the label carries the number it kept.
    form.onResults([this](const StepOutcome& o) { results(o); });
    connect(&form, &Form1::pressed, this, [this](Ctl button) { pressed(int(button)); });
    connect(&form, &Form1::articleWanted, this, &Labels::askArticle);
    connect(&form, &Form1::labelWanted, this, &Labels::printLatest);
    connect(&printer_, &LabelPrinter::done, this, &Labels::printed);
}

void Labels::setArticle(const QString& article) {
    article_ = article;
    if (recorder_) recorder_->setArticle(article);
    form_.say(article.isEmpty() ? QStringLiteral("Article : aucun.") : QStringLiteral("Article : %1.").arg(article));
}

void Labels::askArticle() {
    QDialog dialog(&form_);
    dialog.setObjectName(QStringLiteral("articleDialog"));
    dialog.setWindowTitle(QStringLiteral("Article"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* caption = new QLabel(QStringLiteral("Article compté (pour les comptages qui suivent) :"), &dialog);
    auto* field = new QLineEdit(article_, &dialog);
    field->setObjectName(QStringLiteral("article"));
    field->setMinimumWidth(360);
    caption->setBuddy(field);
    QStringList known;
    if (!recordPath_.isEmpty())
        for (const std::string& a : recordedArticles(QFile::encodeName(recordPath_).toStdString()))
            known << QString::fromStdString(a);
    auto* completer = new QCompleter(known, field);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchContains);
    field->setCompleter(completer);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Annuler"));
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(caption);
    layout->addWidget(field);
    layout->addWidget(buttons);
    field->selectAll();
    if (dialog.exec() == QDialog::Accepted) setArticle(field->text().trimmed());
}

void Labels::results(const StepOutcome& o) {
    if (o.counting) {
        LabelContent c;
        c.article = article_.toStdString();
        c.count = o.counting->NbTotFinal;
        c.incertitude = o.counting->Incert2;
        const Recorder::Kept* kept = recorder_ ? &recorder_->kept() : nullptr;
        const Stamp stamp = kept ? kept->stamp : stampNow();
        c.when = stamp.date, c.station = stamp.host, c.operatorName = stamp.login;
        c.number = kept ? kept->number : 0;
        counting_ = c;
        lot_.reset();
        lots_ = 0;
    } else if (o.lot) {
        LabelContent l = counting_;
        LabelLot lot;
        lot.rank = ++lots_;
        lot.pieces = LocaleText(o.lot->NbVoulu, o.lot->separator);
        lot.weight = o.lot->PdsNbVoulu;
        lot.incertitude = o.lot->Incert3;
        // The unit of the weights read, when one was read from the scale.
        for (Ctl box : {Ctl::TxtPoidsReel2eme, Ctl::TxtPoidsReel1er, Ctl::TxtPoidsTotal})
            if (const std::optional<WeightSource> w = reading_.readingIn(box); w && lot.unit.empty()) lot.unit = w->unit;
        l.lot = lot;
        lot_ = l;
        printLot_ = printer_.settings().automatic;
    }
}

void Labels::pressed(int button) {
    if (Ctl(button) == Ctl::Cmd7 && printLot_ && lot_ && form_.isShown(Ctl::TxtPoidsNbVoulu)) printer_.print(*lot_);
    printLot_ = false;
}

void Labels::printLatest() {
    if (lot_ && form_.isShown(Ctl::TxtPoidsNbVoulu)) return printer_.print(*lot_);
    if (!counting_.count.empty() && form_.isShown(Ctl::TxtNbTotalCalcule)) return printer_.print(counting_);
    form_.tell(QStringLiteral("Aucune étiquette à imprimer : l'étiquette est celle du nombre final (étape 6) ou "
                              "du dernier lot (étape 7) affiché."));
}

void Labels::printed(const QString& failure, const QString& queue) {
    if (failure.isEmpty()) {
        form_.say(queue.isEmpty() ? QStringLiteral("Étiquette envoyée à l'imprimante.")
                                  : QStringLiteral("Étiquette envoyée à l'imprimante %1.").arg(queue));
        return;
    }
    const bool kept = recorder_ && recorder_->kept().number > 0;
    form_.tell(QStringLiteral("L'étiquette n'a pas été imprimée : %1.%2 Ctrl+P essaie de nouveau.")
                   .arg(failure, kept ? QStringLiteral(" Le comptage reste enregistré.") : QString()));
}

}  // namespace pesolane
