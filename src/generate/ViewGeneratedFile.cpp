#include "ViewGeneratedFile.h"

#include "base/PathPieces.h"
#include "settings/SettingsKeys.h"

namespace zandrel {

ViewerLaunch ShowGeneratedFileLaunch(const QString &path, const QString &textFileViewer)
{
    const QString extension = path::extension(path).mid(1).toUpper();
    if (extension == QLatin1String("HTML") || extension == QLatin1String("HTM") ||
        extension == QLatin1String("SVG"))
        return {true, {}, {}};
    if (textFileViewer.isEmpty() ||
        textFileViewer.compare(settings::defaultTextFileViewer, Qt::CaseInsensitive) == 0)
        return {true, {}, {}};
    // The path goes as one argument, so blanks in it survive without quoting.
    return {false, textFileViewer, {path}};
}

} // namespace zandrel
