#include "common.h"
#include "form1.h"
#include "steps.h"

namespace pesolane {

// Count of the second sample: the final count.
void pressCmd6(Form1& f) { apply(f, step6(f.counting(), typed(f, Ctl::TxtNb2eme), f.decimalSeparator())); }

}  // namespace pesolane
