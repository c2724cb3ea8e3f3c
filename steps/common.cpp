#include "common.h"

#include <QByteArray>

#include "form1.h"

namespace pesolane {

std::string typed(const Form1& form, Ctl box) { return form.text(box).toStdString(); }

void apply(Form1& f, const StepOutcome& o) {
    for (Ctl box : o.emptied) f.setText(box, QString());
    for (Ctl c : o.hidden) f.setShown(c, false);
    f.keep(o.state);
    for (const Written& w : o.written) f.setText(w.box, w.text);
    if (o.counting || o.lot) f.resultsReady(o);  // kept before the operator sees it
    for (Ctl c : o.shown) f.setShown(c, true);
    if (o.verdict == StepVerdict::OutOfRange) f.reportOutOfRange();
    for (const std::string& t : o.told) f.warn(QString::fromStdString(t));
}

}  // namespace pesolane
