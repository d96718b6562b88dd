#pragma once

#include "app/StringTable.h"

class QString;

namespace zandrel {

namespace StringId {
inline constexpr int JobVersionNotConvertible = 10020;
inline constexpr int ConverterNotFound = 10021;
inline constexpr int GridFileMissing = 10066;
inline constexpr int GridFileNeeded = 10067;
inline constexpr int NoGridCoordinates = 10068;
// Texts of this program's own for converters that cannot be run to the end.
inline constexpr int ConverterFaulted = 10130;
inline constexpr int ConverterExited = 10131;
inline constexpr int ConverterHostFailed = 10132;
inline constexpr int ConversionFolderFailed = 10133;
inline constexpr int ConverterThrewUnknown = 10134;
} // namespace StringId

class Interaction;

// The box for an error raised inside a converter: its text and " encountered during job file
// conversion". Shown in batch mode too.
void showConverterError(Interaction &interaction, const QString &errorText);

} // namespace zandrel
