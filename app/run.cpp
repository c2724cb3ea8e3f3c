#include "run.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "form1.h"
#include "steps.h"

namespace pesolane {

bool hasDisplay() {
    for (const char* var : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(var);
        if (value && *value) return true;
    }
    return false;
}

int runPesolane(int argc, char** argv) {
    if (!hasDisplay()) {
        std::fputs("pesolane: no graphical display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                   "start it from a desktop session.\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.pesolane.Pesolane"));
    prepareApplication();
    Form1 form;
    bindSteps(form);
    form.show();
    return QApplication::exec();
}

}  // namespace pesolane
