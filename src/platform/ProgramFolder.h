#pragma once

#include <QString>

namespace zandrel::platform {

// The folder of the running program's executable, links resolved: where its language library
// and helper program are looked for first.
QString programFolder();

// A helper program of this one: beside it in a build folder, in the helpers' folder where the
// program is installed.
QString helperProgram(const QString &name);

} // namespace zandrel::platform
