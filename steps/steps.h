// The press handlers of the window's eight buttons.
#pragma once

namespace pesolane {

class Form1;

void pressCmd1(Form1& form);  // precision of the scale and total weight
void pressCmd2(Form1& form);  // real weight of the first sample
void pressCmd3(Form1& form);  // count of the first sample: first estimate
void pressCmd4(Form1& form);  // chosen deviation: second sample's minimum weight
void pressCmd5(Form1& form);  // real weight of the second sample
void pressCmd6(Form1& form);  // count of the second sample: final count
void pressCmd7(Form1& form);  // weight of a lot of a wanted number of pieces
void pressCmdQuitter(Form1& form);

// Connects the eight buttons of `form` to their handlers.
void bindSteps(Form1& form);

}  // namespace pesolane
