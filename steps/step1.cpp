#include "common.h"
#include "form1.h"
#include "steps.h"

namespace pesolane {

// Precision of the scale and total weight: every press restarts the counting.
void pressCmd1(Form1& f) { apply(f, step1(f.counting(), typed(f, Ctl::TxtPrecision), typed(f, Ctl::TxtPoidsTotal), f.decimalSeparator())); }

}  // namespace pesolane
