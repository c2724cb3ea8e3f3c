// What every step does the same way: reading a typed number, writing a
// result through its conversion, and refusing a value beyond the range of
// the calculation.
#pragma once

#include <initializer_list>
#include <optional>

#include "checked.h"
#include "controls.h"
#include "conversions.h"

namespace pesolane {

class Form1;

// The number at the start of a box's text; empty when it is beyond the
// double range, which the step must then refuse.
std::optional<double> readNumber(const Form1& form, Ctl box);

void writeMasked(Form1& form, Ctl box, double value, const Mask& mask);
void writeLocale(Form1& form, Ctl box, double value);

// Ends a press whose input or result is beyond the range of the
// calculation: the controls that the press would have shown (results, the
// next step) and its own error labels are hidden, and the operator is told.
// Nothing computed by the press is stored or shown.
void refuseOutOfRange(Form1& form, std::initializer_list<Ctl> withdraw);

// True when every result of a press is a sound finite number.
inline bool allSound(std::initializer_list<Checked> results) {
    for (const Checked& r : results)
        if (!r.ok()) return false;
    return true;
}

}  // namespace pesolane
