#include "StringTable.h"

#include <QDir>

#include <algorithm>
#include <dlfcn.h>

extern "C" {
extern const ZandrelStringEntry zandrel_builtin_table[];
extern const std::size_t zandrel_builtin_count;
}

namespace zandrel {

namespace {

const LanguageLibrary *activeLanguage = nullptr;

#ifdef ZANDREL_SHOW_STRING_IDS
constexpr bool showStringIdsBuilt = true;
#else
constexpr bool showStringIdsBuilt = false;
#endif

} // namespace

QString StringTableView::text(int id) const
{
    if (!entries)
        return {};
    const auto *end = entries + count;
    const auto *found =
        std::lower_bound(entries, end, id, [](const ZandrelStringEntry &entry, int key) { return entry.id < key; });
    if (found == end || found->id != id || !found->text)
        return {};
    return QString::fromUtf8(found->text);
}

StringTableView builtinStringTable()
{
    return {zandrel_builtin_table, zandrel_builtin_count};
}

LanguageLibrary::LanguageLibrary(const QString &path)
{
    // RTLD_LOCAL: the library's symbols must not clash with another one's.
    m_handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle)
        return;
    const auto *entries = static_cast<const ZandrelStringEntry *>(dlsym(m_handle, ZANDREL_STRING_TABLE_SYMBOL));
    const auto *count = static_cast<const std::size_t *>(dlsym(m_handle, ZANDREL_STRING_COUNT_SYMBOL));
    if (!entries || !count) {
        dlclose(m_handle);
        m_handle = nullptr;
        return;
    }
    m_table = {entries, *count};
}

LanguageLibrary::~LanguageLibrary()
{
    if (m_handle)
        dlclose(m_handle);
}

QString LanguageLibrary::besideExecutable(const QString &applicationDir)
{
    return QDir(applicationDir).filePath(fileName());
}

LocalizedStringSource::LocalizedStringSource(const LanguageLibrary &library) : m_previous(activeLanguage)
{
    activeLanguage = library.isLoaded() ? &library : nullptr;
}

LocalizedStringSource::~LocalizedStringSource()
{
    activeLanguage = m_previous;
}

QString localizedString(const StringTableView *language, int id, bool showStringIds)
{
    QString text;
    if (language)
        text = language->text(id);
    if (text.isEmpty())
        text = builtinStringTable().text(id);
    if (text.size() > MaxLocalizedLength) {
        text.truncate(MaxLocalizedLength);
        // Never leave half of a surrogate pair at the cut.
        if (text.back().isHighSurrogate())
            text.chop(1);
    }
    if (showStringIds) {
        text.prepend(QString::number(id) + u'_');
        text.replace(u' ', u'_');
    }
    return text;
}

QString GetLocalizedString(int id)
{
    return localizedString(activeLanguage ? &activeLanguage->table() : nullptr, id, showStringIdsBuilt);
}

} // namespace zandrel
