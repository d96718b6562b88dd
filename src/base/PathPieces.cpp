#include "PathPieces.h"

namespace zandrel::path {

namespace {

qsizetype fileNameStart(const QString &path)
{
    return path.lastIndexOf(u'/') + 1;
}

qsizetype extensionStart(const QString &path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot >= fileNameStart(path) ? dot : path.size();
}

} // namespace

QString fileName(const QString &path)
{
    return path.mid(fileNameStart(path));
}

QString extension(const QString &path)
{
    return path.mid(extensionStart(path));
}

QString namePart(const QString &path)
{
    const qsizetype start = fileNameStart(path);
    return path.mid(start, extensionStart(path) - start);
}

QString folderPart(const QString &path)
{
    return path.left(fileNameStart(path));
}

QString withoutExtension(const QString &path)
{
    return path.left(extensionStart(path));
}

} // namespace zandrel::path

namespace zandrel {

bool IsDexmorEntry(const QString &pathOrEntry)
{
    return path::namePart(pathOrEntry).toUpper() == QLatin1String("DEXMOR");
}

bool IsJobFile(const QString &path)
{
    return path::extension(path).toUpper() == QLatin1String(".JOB");
}

} // namespace zandrel
