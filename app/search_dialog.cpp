#include "search_dialog.h"

#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>

#include "form1.h"
#include "link.h"
#include "search.h"
#include "search_command.h"

namespace pesolane {
namespace {

QString protocolText(const ScaleSettings& s) {
    return s.hid ? QStringLiteral("instrument de pesage USB (hid)") : protocolName(s.protocol);
}

}  // namespace

SearchDialog::SearchDialog(Form1& form, ScaleLink& link) : QObject(&form), form_(form), link_(link) {
    connect(&form, &Form1::searchWanted, this, &SearchDialog::start);
}

void SearchDialog::start() {
    if (search_ || result_) {
        if (progress_) progress_->raise();
        if (result_) result_->raise();
        return;
    }
    // The link lets the port go (a read under way is given up, its box
    // unchanged): the search opens it with settings of its own.
    link_.setSettings(link_.settings());
    link_.hold(true);
    const SearchRequest request = searchRequest(link_.settings(), {}, {});
    search_ = new ScaleSearch(request.ports, request.scope, request.known, request.base, this);

    progress_ = new QProgressDialog(&form_);
    progress_->setObjectName(QStringLiteral("searchProgress"));
    progress_->setWindowTitle(QStringLiteral("Pesolane"));
    progress_->setWindowModality(Qt::NonModal);
    progress_->setAttribute(Qt::WA_DeleteOnClose);
    progress_->setMinimumDuration(0);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setCancelButtonText(QStringLiteral("Annuler"));
    progress_->setRange(0, std::max(1, search_->total()));
    progress_->setLabelText(QStringLiteral("Recherche de l'instrument de pesage…"));
    connect(progress_, &QProgressDialog::canceled, this, &SearchDialog::cancelled);
    connect(search_, &ScaleSearch::progress, progress_, [this](const QString& what, int done, int total) {
        progress_->setMaximum(std::max(1, total));
        progress_->setValue(std::min(done, total));
        progress_->setLabelText(QStringLiteral("Recherche de l'instrument de pesage…\n%1").arg(what));
    });
    connect(search_, &ScaleSearch::over, this, &SearchDialog::over);
    progress_->show();

    if (request.ports.isEmpty()) {
        over(SearchResult{});
        return;
    }
    form_.say(QStringLiteral("Recherche de l'instrument de pesage commencée ; le bouton Annuler l'arrête."));
    search_->start();
}

void SearchDialog::cancelled() {
    if (!search_) return;
    link_.hold(false);
    search_->cancel();
    search_->deleteLater();
    if (progress_) progress_->close();
    form_.say(QStringLiteral("Recherche de l'instrument de pesage annulée : aucun réglage n'a changé."));
}

void SearchDialog::over(const SearchResult& r) {
    link_.hold(false);
    if (search_) search_->deleteLater();
    if (progress_) {
        disconnect(progress_, &QProgressDialog::canceled, this, &SearchDialog::cancelled);
        progress_->close();
    }
    result_ = new QMessageBox(&form_);
    result_->setObjectName(QStringLiteral("searchResult"));
    result_->setWindowTitle(QStringLiteral("Pesolane"));
    result_->setAttribute(Qt::WA_DeleteOnClose);
    QString said;
    if (!r.unusable.isEmpty()) {
        result_->setIcon(QMessageBox::Warning);
        result_->setText(QStringLiteral("Le fichier des réglages est à corriger avant la recherche."));
        result_->setInformativeText(QStringLiteral("Une ligne fausse, que la recherche ne remplace pas, empêcherait de lire la "
                                                   "pesée : %1 Corrigez-la, puis recommencez. Aucun réglage n'a changé.")
                                        .arg(r.unusable));
        result_->addButton(QStringLiteral("Fermer"), QMessageBox::RejectRole);
        said = result_->text() + QLatin1Char(' ') + result_->informativeText();
    } else if (!r.found) {
        result_->setIcon(QMessageBox::Warning);
        result_->setText(QStringLiteral("Aucun instrument de pesage n'a été trouvé."));
        QString why = QStringLiteral(
            "Causes possibles : l'instrument de pesage est éteint ; le câble est débranché ou n'est pas le bon ; "
            "un instrument qui n'envoie sa pesée que sur sa touche d'impression : appuyez dessus pendant la "
            "recherche. Aucun réglage n'a changé.");
        for (const QString& heard : r.noWeight)
            why = QStringLiteral("Un appareil parle sans donner de pesée stable en masse, sur %1\n").arg(heard) + why;
        for (const QString& at : r.answeredOtherwise)
            why = QStringLiteral("Sur %1, un appareil répond « commande inconnue » à toutes les questions : sa "
                                 "commande de pesée se donne par « commande = » dans le fichier des réglages.\n")
                      .arg(at) + why;
        if (!r.refused.isEmpty()) why = r.refused.join(QLatin1Char('\n')) + QLatin1Char('\n') + why;
        result_->setInformativeText(why);
        result_->addButton(QStringLiteral("Fermer"), QMessageBox::RejectRole);
        said = result_->text() + QLatin1Char(' ') + why;
    } else {
        const ScaleSettings& s = r.settings;
        QString found = QStringLiteral("Port : %1\n").arg(s.port);
        if (!s.hid) {
            found += QStringLiteral("Vitesse : %1 bauds\nFormat : %2\n").arg(s.baud).arg(s.format);
        }
        found += QStringLiteral("Protocole : %1\n").arg(protocolText(s));
        if (!s.hid && s.protocol == Protocol::Command)
            found += QStringLiteral("Commande : %1\n").arg(QString::fromStdString(spelled((s.command + s.commandEnd).toStdString())));
        found += QStringLiteral("Pesée affichée : %1").arg(r.shown);
        for (const QString& line : r.mended) found += QStringLiteral("\nLigne fausse remplacée à l'enregistrement : %1").arg(line);
        result_->setIcon(QMessageBox::Information);
        result_->setText(QStringLiteral("Instrument de pesage trouvé."));
        result_->setInformativeText(found);
        QPushButton* save = result_->addButton(QStringLiteral("Enregistrer"), QMessageBox::AcceptRole);
        save->setObjectName(QStringLiteral("save"));
        result_->addButton(QStringLiteral("Annuler"), QMessageBox::RejectRole);
        result_->setDefaultButton(save);
        connect(save, &QAbstractButton::clicked, this, [this, s] {
            const QString wrong = saveSettings(settingsFilePath(), s);
            if (!wrong.isEmpty()) {
                form_.reportWeighingFailure(QStringLiteral("Les réglages ne sont pas enregistrés : ") + wrong);
                return;
            }
            ScaleSettings taken = s;
            taken.file = settingsFilePath();
            link_.setSettings(taken);
            form_.say(QStringLiteral("Réglages de l'instrument de pesage enregistrés ; F9 lit la pesée."));
        });
        said = result_->text() + QLatin1Char(' ') + QString(found).replace(QLatin1Char('\n'), QStringLiteral(" ; "));
    }
    result_->open();
    form_.say(said);
}

}  // namespace pesolane
