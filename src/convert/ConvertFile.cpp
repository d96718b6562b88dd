#include "ConvertFile.h"

namespace zandrel {

bool ConvertJobFile(const QString &, const QString &, QString &, QString &, bool)
{
    // No converter libraries are searched yet, so no Job file can be converted.
    return false;
}

} // namespace zandrel
