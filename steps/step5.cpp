#include "common.h"
#include "form1.h"
#include "steps.h"

namespace pesolane {

// Real weight of the second sample.
void pressCmd5(Form1& f) { apply(f, step5(f.counting(), typed(f, Ctl::TxtPoidsReel2eme), f.decimalSeparator())); }

}  // namespace pesolane
