#include "common.h"
#include "form1.h"
#include "steps.h"

namespace pesolane {

// Real weight of the first sample.
void pressCmd2(Form1& f) { apply(f, step2(f.counting(), typed(f, Ctl::TxtPoidsReel1er), f.decimalSeparator())); }

}  // namespace pesolane
