#include "ShortenPath.h"

#include <QStringList>

namespace zandrel {

QString ShortenPath(const QString &path, const QString &separator, const QString &ellipsis, int limit)
{
    if (path.size() <= limit || separator.isEmpty())
        return path;
    QStringList parts = path.split(separator); // empty parts count
    if (parts.size() < 3)
        return path;
    parts[1] = ellipsis;
    QString shortened = parts.join(separator);
    while (shortened.size() > limit && parts.size() > 3) {
        parts.removeAt(2);
        shortened = parts.join(separator);
    }
    return shortened;
}

} // namespace zandrel
