#pragma once

#include <QString>

namespace zandrel {

// Converts a Job file into a Dexmor file in the output folder with the converter libraries.
// True only when the converted file exists at convertedFile. Fills the GeoData folder where the
// registry names one. Silent: no messages of its own (an error inside a converter still shows).
bool ConvertJobFile(const QString &jobFile, const QString &outputFolder, QString &convertedFile,
                    QString &geoDataFolder, bool silent);

} // namespace zandrel
