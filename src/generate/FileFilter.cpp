#include "FileFilter.h"

namespace zandrel {

QStringList qtNameFilters(const QString &windowsFilter)
{
    const QStringList parts = windowsFilter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts.at(i).trimmed();
        const QString patterns = parts.at(i + 1).split(u';', Qt::SkipEmptyParts).join(u' ').trimmed();
        if (patterns.isEmpty())
            continue;
        const QString suffix = u'(' + patterns + u')';
        filters.append(description.endsWith(suffix) ? description : description + u' ' + suffix);
    }
    return filters;
}

} // namespace zandrel
