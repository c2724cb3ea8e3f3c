// Renders the counting window offscreen at the opening, after step 3 and at
// the end of a counting, as PNG files in the folder given (default: docs).
//   QT_QPA_PLATFORM=offscreen LC_ALL=fr_FR.UTF-8 build/pesolane_pictures docs
#include <QApplication>
#include <QDir>
#include <QPushButton>

#include <cstdio>
#include <utility>

#include "application.h"
#include "form1.h"
#include "steps.h"

using namespace pesolane;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    prepareApplication();
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs"));
    Form1 form;
    bindSteps(form);
    form.show();

    const std::pair<Ctl, const char*> road[] = {
        {Ctl::TxtPrecision, "0.1"}, {Ctl::TxtPoidsTotal, "1000"}, {Ctl::Cmd1, nullptr},
        {Ctl::TxtPoidsReel1er, "10"}, {Ctl::Cmd2, nullptr}, {Ctl::TxtNb1er, "50"}, {Ctl::Cmd3, "step3"},
        {Ctl::TxtEcartChoisi, "10"}, {Ctl::Cmd4, nullptr}, {Ctl::TxtPoidsReel2eme, "53"}, {Ctl::Cmd5, nullptr},
        {Ctl::TxtNb2eme, "265"}, {Ctl::Cmd6, nullptr}, {Ctl::TxtNbVoulu, "500"}, {Ctl::Cmd7, "road"},
    };
    auto save = [&](const char* name) {
        QApplication::processEvents();
        const QString path = out.filePath(QStringLiteral("%1.png").arg(QLatin1String(name)));
        if (!form.grab().save(path)) {
            std::fprintf(stderr, "pesolane_pictures: cannot write %s\n", qPrintable(path));
            return false;
        }
        std::printf("%s\n", qPrintable(path));
        return true;
    };
    if (!save("opening")) return 1;
    for (const auto& [control, value] : road) {
        if (controlOf(control).kind == Kind::TextBox) {
            form.setText(control, QString::fromUtf8(value));
            continue;
        }
        form.button(control)->click();
        if (value && !save(value)) return 1;
    }
    return 0;
}
