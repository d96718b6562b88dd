#pragma once

#include <QString>

namespace zandrel::platform {

// Replaces the target with a copy of the source atomically: the copy is written beside the
// target and renamed over it, so a failed copy never leaves a half file where a good one was.
// On failure returns false and puts the reason into *error.
bool replaceWithCopy(const QString &source, const QString &target, QString *error);

// Replaces the file with the bytes atomically (written beside it, then renamed over it). False
// with the reason when that fails; the old file then stays whole.
bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error);

// True when both paths name the same existing file (hard and symbolic links included).
bool isSameFile(const QString &first, const QString &second);

// The path as 8-bit text for libraries that take char paths. There are no short (8.3) names
// here, so the short form of a path is the path itself.
QByteArray ShortAnsiPath(const QString &path);

// The user's decimal separator, from the locale of the environment.
QChar userDecimalSeparator();

} // namespace zandrel::platform
