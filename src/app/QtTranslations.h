#pragma once

#include <QTranslator>

namespace zandrel {

// Qt's own texts (the file dialogs, the folder browser's and the message boxes' buttons) in the
// language that the loaded language library names, installed while this lives. Without Qt's
// translations for it (Debian's qt6-translations-l10n) they stay English.
class QtTranslations {
public:
    // Needs the application object; reads the Qt locale from the language table.
    QtTranslations();
    ~QtTranslations();
    QtTranslations(const QtTranslations &) = delete;
    QtTranslations &operator=(const QtTranslations &) = delete;

    bool isInstalled() const { return m_installed; }

private:
    QTranslator m_translator;
    bool m_installed = false;
};

} // namespace zandrel
