// The record of countings, in the window: each final count and each lot
// weight a step shows is kept in the record before it shows. When it cannot
// be kept, the result still shows and a message that does not block says
// why, spoken like the window's other messages.
#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <string>

#include "controls.h"
#include "counting.h"
#include "record.h"

namespace pesolane {

class Form1;
class ScaleReading;

class Recorder : public QObject {
public:
    // `path`: the record's, as bytes. With `problem` (a wrong setting),
    // nothing is kept: the window says why once it opens, and each result again.
    Recorder(Form1& form, const ScaleReading& reading, const std::string& path, const QString& article,
             const QString& problem = {});

    // The article of the countings that follow.
    void setArticle(const QString& article) { article_ = article.toStdString(); }

    // The latest counting kept: its number (0 when it could not be kept),
    // when and by whom, and how many of its lots are kept.
    struct Kept {
        std::int64_t number = 0;
        Stamp stamp;
        int lots = 0;
    };
    const Kept& kept() const { return kept_; }

private:
    void keep(const StepOutcome& outcome);
    void pressed(Ctl button);

    Form1& form_;
    const ScaleReading& reading_;
    QString path_;
    QString problem_;
    Record record_;
    std::string article_;
    std::array<WeightSource, 3> used_;  // where the weights the steps used came from
    Kept kept_;
    QString untold_;                    // why the last result was not kept, to tell once the press is done
};

}  // namespace pesolane
