#pragma once

#include <QString>
#include <QStringList>

namespace zandrel {

// The three roads the program can take, by the number of arguments.
enum class Road { Dialog, Batch, Usage };

// The arguments that count: the shell has split them already; an empty one does not count.
QStringList countedArguments(int argc, char **argv);
Road roadFor(const QStringList &arguments);

// The fixed usage message, lines joined by CR LF.
QString usageMessage();

// True when a display (X11, Wayland or an explicit Qt platform) is there to show windows on.
bool hasDisplay();

} // namespace zandrel
