// F9 in a weight box reads the scale into it. The answer goes into the box
// it was asked for, unless the operator has since typed into that box,
// pressed the step that reads it, or hidden it (an earlier step pressed
// again): then the read is given up and its answer dropped. F9 during a read
// is told, and the read goes on. A weight in another unit than the readings still
// held by the other weight boxes is refused: mixing grams and kilograms
// would give a plainly wrong count.
#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <optional>

#include "controls.h"

namespace pesolane {

class Form1;
class ScaleLink;
struct Weighing;
struct WeightSource;

class ScaleReading : public QObject {
public:
    ScaleReading(Form1& form, ScaleLink& link);

    // The scale's reading that weight box `box` holds now, with the line it
    // came in, its unit and port; none when the box holds what was typed.
    std::optional<WeightSource> readingIn(Ctl box) const;

private:
    void arrived(const Weighing& outcome);

    // A weight written by F9, and its unit; it counts while its box is shown
    // and holds that text, not typed over since.
    struct Held {
        QString text;
        QString unit;
        std::string line;  // as the scale sent it
        QString port;
    };

    Form1& form_;
    ScaleLink& link_;
    Ctl pending_ = Ctl::TxtPoidsTotal;
    std::array<Held, kWeightBoxes.size()> held_;
};

}  // namespace pesolane
