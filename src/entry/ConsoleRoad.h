#pragma once

#include "app/Startup.h"
#include "platform/DisplayCheck.h"

#include <QStringList>

namespace zandrel {

// The three roads on the console: the usage message on stdout, the dialog refused for want of a
// display, and batch mode asking its questions on the terminal (or taking their defaults
// without one). Needs a QCoreApplication; gives the program's exit code.
int runOnConsole(Road road, const QStringList &arguments);

// Says in one line on stderr that the display the environment names cannot be opened and why.
void reportDisplayNotOpened(const QString &display, const QString &reason);

} // namespace zandrel
