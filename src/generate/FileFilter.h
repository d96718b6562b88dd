#pragma once

#include <QString>
#include <QStringList>

namespace zandrel {

// Turns a file filter of the "description|pattern|description|pattern" form into Qt's name
// filters ("description (pattern)"); patterns separated by ";" become blank-separated.
// A description that already ends with its patterns in parentheses is kept as it is.
QStringList qtNameFilters(const QString &windowsFilter);

} // namespace zandrel
