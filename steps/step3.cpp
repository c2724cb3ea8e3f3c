#include "common.h"
#include "form1.h"
#include "steps.h"

namespace pesolane {

// Count of the first sample: the first estimate and the range of deviations.
void pressCmd3(Form1& f) { apply(f, step3(f.counting(), typed(f, Ctl::TxtNb1er), f.decimalSeparator())); }

}  // namespace pesolane
