#include "common.h"
#include "form1.h"
#include "steps.h"

namespace pesolane {

// Chosen deviation: the second sample's minimum weight.
void pressCmd4(Form1& f) { apply(f, step4(f.counting(), typed(f, Ctl::TxtEcartChoisi), f.decimalSeparator())); }

}  // namespace pesolane
