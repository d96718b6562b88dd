#pragma once

#include <QList>
#include <QString>

namespace zandrel {

class Interaction;

// The numbers (from 1) of the lines of a converted Dexmor file that hold "<Reductions error=" in
// any letter case: each stands for a grid file the converter could not find. The file is read as
// text: UTF-16 or UTF-8 when a byte-order mark says so, otherwise in the locale's 8-bit encoding.
// Lines end at CR LF, LF or CR. An unreadable file has none.
QList<qsizetype> GridFileWarningLines(const QString &convertedFile);

// The warning's text (GridFileMissing with the GeoData folder, GridFileNeeded and
// NoGridCoordinates, joined by CR LF).
QString GridFileWarningText(const QString &geoDataFolder);

// One warning box for every such line, in line order. Dialog mode only: batch mode skips the scan.
void ShowGridFileWarnings(Interaction &interaction, const QString &convertedFile,
                          const QString &geoDataFolder);

} // namespace zandrel
