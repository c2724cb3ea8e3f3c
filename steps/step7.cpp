#include "common.h"
#include "form1.h"
#include "steps.h"

namespace pesolane {

// Weight of a lot of a wanted number of pieces.
void pressCmd7(Form1& f) { apply(f, step7(f.counting(), typed(f, Ctl::TxtNbVoulu), f.decimalSeparator())); }

}  // namespace pesolane
