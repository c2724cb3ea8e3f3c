#include "scale_reading.h"

#include <QLineEdit>

#include "form1.h"
#include "link.h"
#include "messages.h"
#include "record.h"

namespace pesolane {
namespace {

std::size_t slotOf(Ctl box) {
    for (std::size_t i = 0; i < kWeightBoxes.size(); ++i)
        if (kWeightBoxes[i].box == box) return i;
    return 0;
}

}  // namespace

ScaleReading::ScaleReading(Form1& form, ScaleLink& link) : QObject(&form), form_(form), link_(link) {
    connect(&form, &Form1::weightWanted, this, [this](Ctl box) {
        if (link_.busy()) return form_.reportWeighingUnderWay(box);  // one read at a time
        pending_ = box;
        link_.read();
    });
    connect(&link, &ScaleLink::finished, this, &ScaleReading::arrived);
    for (const WeightBox& w : kWeightBoxes) {
        connect(form.textBox(w.box), &QLineEdit::textEdited, this, [this, box = w.box] {
            // A weight the operator types over has no unit we know; what he
            // types wins over an answer still to come.
            held_[slotOf(box)] = {};
            if (link_.busy() && pending_ == box) link_.abandon();
        });
    }
    // The step that reads the box used what it held then; a box hidden, even
    // to be shown again emptied, belongs to a new start and takes nothing.
    connect(&form, &Form1::pressed, this, [this](Ctl button) {
        if (link_.busy() && (button == kWeightBoxes[slotOf(pending_)].step || form_.hiddenByLastPress(pending_)))
            link_.abandon();
    });
}

void ScaleReading::arrived(const Weighing& outcome) {
    if (outcome.failure != Failure::None) {
        // A set-up that fails (none, a port absent, nothing heard, an answer
        // not understood): the message offers to search for the scale.
        return form_.reportWeighingFailure(link_.message(outcome), offersSearch(outcome.failure, link_.heardNothing()));
    }
    const QString weight = QString::fromStdString(outcome.weight), unit = QString::fromStdString(outcome.unit);
    for (const WeightBox& w : kWeightBoxes) {
        const Ctl other = w.box;
        const Held& h = held_[slotOf(other)];
        if (other == pending_ || !form_.isShown(other) || h.unit.isEmpty() || form_.text(other) != h.text) continue;
        if (h.unit != unit) {
            const Weighing mixed{Failure::OtherUnit, {}, outcome.unit, h.unit.toStdString()};
            return form_.reportWeighingFailure(link_.message(mixed));
        }
    }
    held_[slotOf(pending_)] = {weight, unit, outcome.line, link_.source()};
    form_.putWeight(pending_, weight, unit);
}

std::optional<WeightSource> ScaleReading::readingIn(Ctl box) const {
    const Held& h = held_[slotOf(box)];
    if (h.unit.isEmpty() || form_.text(box) != h.text) return std::nullopt;
    return WeightSource{true, h.line, h.unit.toStdString(), h.port.toStdString()};
}

}  // namespace pesolane
