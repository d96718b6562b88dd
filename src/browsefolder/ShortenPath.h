#pragma once

#include <QString>

namespace zandrel {

// Shortens a path for a one-line display: when it is longer than the limit (in UTF-16 code
// units), its second part becomes the ellipsis and then parts after it are dropped, one at a time
// from the left, until it fits. The first part, the ellipsis and the last part always stay, so
// the result may still be longer than the limit. Paths with fewer than three parts stay whole.
QString ShortenPath(const QString &path, const QString &separator, const QString &ellipsis, int limit);

} // namespace zandrel
