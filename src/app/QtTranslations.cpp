#include "QtTranslations.h"

#include "StringTable.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

namespace zandrel {

QtTranslations::QtTranslations()
{
    const QLocale locale(GetLocalizedString(StringId::QtLocale));
    // English is Qt's own language: there is nothing to load.
    if (locale.language() == QLocale::English || locale.language() == QLocale::C)
        return;
    if (m_translator.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        m_installed = QCoreApplication::installTranslator(&m_translator);
}

QtTranslations::~QtTranslations()
{
    if (m_installed)
        QCoreApplication::removeTranslator(&m_translator);
}

} // namespace zandrel
