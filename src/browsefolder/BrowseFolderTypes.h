#pragma once

#include <QFlags>
#include <QObject>
#include <QString>

// The choices of the folder browser that do not need widgets.
namespace zandrel::browse {
Q_NAMESPACE

// The folder at the top of the browser's tree. The names are those the form layouts use.
enum class TSHFolders {
    foDesktop,
    foDesktopExpanded, // the default tree
    foPrograms,
    foControlPanel,
    foPrinters,
    foPersonal,
    foFavorites,
    foStartup,
    foRecent,
    foSendto,
    foRecycleBin,
    foStartMenu,
    foDesktopDirectory,
    foMyComputer,
    foNetwork,
    foNetworkNeighborhood,
    foFonts,
    foTemplates,
};
Q_ENUM_NS(TSHFolders)

// Options of the browser. Only bfStatusText changes anything here: it gives the dialog its status
// line. The others name choices of the Windows shell (network domains, computers, printers,
// file-system ancestors) that have no counterpart in a tree of folders; they are kept so that
// settings carry over. OK is enabled for file-system folders only, whatever the flags say.
enum class TBrowseInfoFlag {
    bfFileSysDirsOnly = 0x1,
    bfDontGoBelowDomain = 0x2,
    bfStatusText = 0x4,
    bfFileSysAncestors = 0x8,
    bfBrowseForComputer = 0x10,
    bfBrowseForPrinter = 0x20,
};
Q_DECLARE_FLAGS(TBrowseInfoFlagSet, TBrowseInfoFlag)
Q_FLAG_NS(TBrowseInfoFlagSet)

// The folder that stands for a root choice on this system: the desktop, home-related and XDG
// folders through QStandardPaths. Empty for foDesktopExpanded (the default tree). A choice
// without a counterpart here (control panel, printers, network, ...), or whose folder does not
// exist, gives the file-system root "/".
QString rootFolderPath(TSHFolders root);

} // namespace zandrel::browse

Q_DECLARE_OPERATORS_FOR_FLAGS(zandrel::browse::TBrowseInfoFlagSet)
