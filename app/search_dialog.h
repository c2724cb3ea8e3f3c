// "Chercher l'instrument de pesage…" in the window: the search runs while the
// window stays in use, in a progress dialog that can be cancelled; what it
// found is shown with "Enregistrer" and "Annuler". Saving writes the
// settings file and the link takes the settings at once: the next F9 reads.
// The counting is left alone: no box, no step changes.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QProgressDialog>

namespace pesolane {

class Form1;
class ScaleLink;
class ScaleSearch;
struct SearchResult;

class SearchDialog : public QObject {
public:
    SearchDialog(Form1& form, ScaleLink& link);

    // Starts a search, unless one is under way or its result is still shown.
    void start();

    QProgressDialog* progress() const { return progress_; }
    QMessageBox* result() const { return result_; }

private:
    void over(const SearchResult& result);
    void cancelled();

    Form1& form_;
    ScaleLink& link_;
    QPointer<ScaleSearch> search_;
    QPointer<QProgressDialog> progress_;
    QPointer<QMessageBox> result_;
};

}  // namespace pesolane
