#include "form1.h"
#include "steps.h"

namespace pesolane {

void bindSteps(Form1& form) {
    form.onPress(Ctl::Cmd1, pressCmd1);
    form.onPress(Ctl::Cmd2, pressCmd2);
    form.onPress(Ctl::Cmd3, pressCmd3);
    form.onPress(Ctl::Cmd4, pressCmd4);
    form.onPress(Ctl::Cmd5, pressCmd5);
    form.onPress(Ctl::Cmd6, pressCmd6);
    form.onPress(Ctl::Cmd7, pressCmd7);
    form.onPress(Ctl::CmdQuitter, pressCmdQuitter);
}

}  // namespace pesolane
