// The article named in the window, and a label for each result: F2 names
// the article of the countings that follow; Ctrl+P prints the label of the
// latest result shown (the final count, or the latest lot); with
// [etiquette] automatique=oui, each lot's label prints by itself once the
// record has kept it. A label not printed is told beside the window, and
// Ctrl+P tries again.
#pragma once

#include <QObject>
#include <QString>

#include <optional>

#include "label.h"
#include "label_printer.h"

namespace pesolane {

class Form1;
class Recorder;
class ScaleReading;
struct StepOutcome;

class Labels : public QObject {
public:
    // `recorder` may be null: then nothing is recorded, and the labels say so.
    Labels(Form1& form, const ScaleReading& reading, Recorder* recorder, const LabelSettings& settings,
           const QString& article, const QString& recordPath);

    QString article() const { return article_; }
    void setArticle(const QString& article);
    void askArticle();     // the dialog of F2
    void printLatest();    // Ctrl+P

private:
    void results(const StepOutcome& outcome);
    void pressed(int button);
    void printed(const QString& failure, const QString& queue);

    Form1& form_;
    const ScaleReading& reading_;
    Recorder* recorder_;
    LabelPrinter printer_;
    QString article_;
    QString recordPath_;
    LabelContent counting_;              // the latest final count
    std::optional<LabelContent> lot_;    // its latest lot
    int lots_ = 0;
    bool printLot_ = false;              // the press under way showed a lot to print by itself
};

}  // namespace pesolane
