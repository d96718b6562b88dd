#pragma once

#include <QString>

// The pieces of a path as the program names them. The separator is "/".
namespace zandrel::path {

// The part after the last separator.
QString fileName(const QString &path);
// From the last "." of the file name on, the "." included; empty without one.
QString extension(const QString &path);
// The file name without its extension.
QString namePart(const QString &path);
// Everything up to and including the last separator; empty without one.
QString folderPart(const QString &path);
// The path with the extension of its file name removed; the folder stays.
QString withoutExtension(const QString &path);

} // namespace zandrel::path

namespace zandrel {

// True when the name part of a path or list entry is "Dexmor" in any letter case:
// the output format that copies the Dexmor file instead of applying a style sheet.
bool IsDexmorEntry(const QString &pathOrEntry);

// True when the extension of the path is ".job" in any letter case.
bool IsJobFile(const QString &path);

} // namespace zandrel
