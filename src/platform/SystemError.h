#pragma once

#include <QString>

#include <cstring>

namespace zandrel::platform {

// The system's own text for an error number, as users of this computer read it.
inline QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace zandrel::platform
