#include "BrowseFolderTypes.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace zandrel::browse {

namespace {

QString standardLocation(QStandardPaths::StandardLocation location, const QString &subfolder = QString())
{
    const QString base = QStandardPaths::writableLocation(location);
    if (base.isEmpty())
        return QString();
    return subfolder.isEmpty() ? base : base + u'/' + subfolder;
}

// The folder on this system that plays the part of the special folder; empty where none does.
QString counterpart(TSHFolders root)
{
    switch (root) {
    case TSHFolders::foDesktop:
    case TSHFolders::foDesktopDirectory:
        return standardLocation(QStandardPaths::DesktopLocation);
    case TSHFolders::foPrograms:
    case TSHFolders::foStartMenu:
        return standardLocation(QStandardPaths::ApplicationsLocation);
    case TSHFolders::foPersonal:
        return standardLocation(QStandardPaths::DocumentsLocation);
    case TSHFolders::foStartup:
        return standardLocation(QStandardPaths::GenericConfigLocation, QStringLiteral("autostart"));
    case TSHFolders::foRecycleBin:
        return standardLocation(QStandardPaths::GenericDataLocation, QStringLiteral("Trash/files"));
    case TSHFolders::foFonts:
        return standardLocation(QStandardPaths::FontsLocation);
    case TSHFolders::foTemplates:
        return standardLocation(QStandardPaths::TemplatesLocation);
    case TSHFolders::foMyComputer:
        return QStringLiteral("/");
    case TSHFolders::foDesktopExpanded:
    case TSHFolders::foControlPanel:
    case TSHFolders::foPrinters:
    case TSHFolders::foFavorites:
    case TSHFolders::foRecent:
    case TSHFolders::foSendto:
    case TSHFolders::foNetwork:
    case TSHFolders::foNetworkNeighborhood:
        break;
    }
    return QString();
}

} // namespace

QString rootFolderPath(TSHFolders root)
{
    if (root == TSHFolders::foDesktopExpanded)
        return QString();
    const QString folder = counterpart(root);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return QStringLiteral("/");
    return QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}

} // namespace zandrel::browse
