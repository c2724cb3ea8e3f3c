// Labels on paper: the page drawn by Qt Print Support as a vector PDF with
// the Liberation fonts, handed to a CUPS queue. All of it on a thread of its
// own: the window never waits on printing.
#pragma once

#include <QObject>
#include <QString>
#include <QThread>

#include "label.h"
#include "label_settings.h"

namespace pesolane {

// Draws `label` into a PDF file of the settings' size at `path`; gives what
// went wrong, in French, or an empty text.
QString drawLabel(const LabelContent& label, const LabelSettings& settings, const QString& path);

// Sends the PDF file at `path` to the settings' queue (or the default one);
// gives what went wrong, in French, or an empty text once the queue has
// taken the job. A queue that is stopped or refuses jobs is not sent to.
QString sendToQueue(const QString& path, const LabelSettings& settings, const QString& title);

// Draws and sends, one label after another, off the calling thread.
class LabelPrinter : public QObject {
    Q_OBJECT

public:
    explicit LabelPrinter(LabelSettings settings, QObject* parent = nullptr);
    ~LabelPrinter() override;  // lets the label under way finish

    void print(const LabelContent& label);
    const LabelSettings& settings() const { return settings_; }

signals:
    // Once the queue has taken the label (`failure` empty), or why not.
    void done(const QString& failure, const QString& queue);

private:
    LabelSettings settings_;
    QThread thread_;
    QObject* worker_;
};

// Draws and sends one label, waiting for it: for the command line.
QString printLabelNow(const LabelContent& label, const LabelSettings& settings);

}  // namespace pesolane
