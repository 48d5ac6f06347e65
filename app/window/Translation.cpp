#include "app/window/Translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace Translation
{

bool Install(const QLocale& locale)
{
    auto* own = new QTranslator(QCoreApplication::instance());
    if (!own->load(locale, QStringLiteral("horalink"), QStringLiteral("_"),
                   QStringLiteral(":/i18n"))) {
        delete own;
        return false;
    }
    QCoreApplication::installTranslator(own);
    auto* qt = new QTranslator(QCoreApplication::instance());
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qt);
    } else {
        delete qt;
    }
    return true;
}

} // namespace Translation
