#pragma once

#include <QString>
#include <QStringList>

namespace zandrel {

// How a generated file is shown: web pages and drawings in the desktop's associated application,
// every other file in the text file viewer with the path as its one argument.
struct ViewerLaunch {
    bool useDesktopAssociation = false; // open the file with the desktop's application
    QString program;                    // otherwise: the viewer to start
    QStringList arguments;
};

ViewerLaunch ShowGeneratedFileLaunch(const QString &path, const QString &textFileViewer);

} // namespace zandrel
