#include <QCoreApplication>

#include "form1.h"
#include "steps.h"

namespace pesolane {

// Ends the program at once: nothing is asked and nothing is kept.
void pressCmdQuitter(Form1& form) {
    form.close();
    QCoreApplication::quit();
}

}  // namespace pesolane
