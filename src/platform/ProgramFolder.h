#pragma once

#include <QString>

namespace zandrel::platform {

// The folder of the running program's executable, links resolved: where its language library
// and helper program are looked for first.
QString programFolder();

} // namespace zandrel::platform
