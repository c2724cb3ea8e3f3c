// The window's side of every step: the typed text handed to the step's
// rules, and what the rules decided applied to the window.
#pragma once

#include <string>

#include "controls.h"
#include "counting.h"

namespace pesolane {

class Form1;

// The text of a box, in UTF-8.
std::string typed(const Form1& form, Ctl box);

// Applies `outcome` to the window: the boxes emptied, the controls hidden, the
// working values kept, the results written; a final count or a lot handed to
// whatever keeps it; then the controls shown, the operator told when a value
// is beyond the range of the calculation, and the warnings shown beside the
// window.
void apply(Form1& form, const StepOutcome& outcome);

}  // namespace pesolane
