#include "application.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QStyleFactory>
#include <QTranslator>

#include "accessibility.h"

namespace pesolane {

void prepareApplication() {
    // One flat look on every desktop, so that the role colours are the ones drawn.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    installAccessibility();
    // Qt's own words (a text box's context menu, a message box's buttons) in
    // the desktop's language; without a translation they stay in English.
    auto* qtWords = new QTranslator(qApp);
    if (qtWords->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtWords);
    else
        delete qtWords;
}

}  // namespace pesolane
