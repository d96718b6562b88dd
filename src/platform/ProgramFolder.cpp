#include "ProgramFolder.h"

#include <QDir>
#include <QFileInfo>

namespace zandrel::platform {

QString programFolder()
{
    // Not QCoreApplication::applicationDirPath(): it needs an application object, and the
    // language is loaded before there is one.
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
}

QString helperProgram(const QString &name)
{
    const QString folder = programFolder();
    const QString beside = folder + u'/' + name;
    const QString installed = QDir::cleanPath(folder + QStringLiteral("/" ZANDREL_HELPER_FOLDER "/") + name);
    return QFileInfo::exists(beside) || !QFileInfo::exists(installed) ? beside : installed;
}

} // namespace zandrel::platform
