#include "ProgramFolder.h"

#include <QFileInfo>

namespace zandrel::platform {

QString programFolder()
{
    // Not QCoreApplication::applicationDirPath(): it needs an application object, and the
    // language is loaded before there is one.
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
}

} // namespace zandrel::platform
