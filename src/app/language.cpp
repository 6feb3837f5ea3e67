#include "language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tabel {

QTranslator* speakRussian(QCoreApplication& app) {
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    QLocale::setDefault(russian);
    auto* qtTexts = new QTranslator(&app);
    if (!qtTexts->load(russian, QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(qtTexts)) {
        delete qtTexts;
        return nullptr;
    }
    return qtTexts;
}

} // namespace tabel
