#pragma once

#include "StringTable.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace zandrel {

// The three roads the program can take, by the number of arguments.
enum class Road { Dialog, Batch, Usage };

// The arguments that count: the shell has split them already; an empty one does not count.
QStringList countedArguments(int argc, char **argv);
Road roadFor(const QStringList &arguments);

// The fixed usage message, lines joined by CR LF.
QString usageMessage();

// The language library beside the executable, else the one the library search finds; an
// unloaded one (English) when there is none.
std::unique_ptr<LanguageLibrary> loadLanguageLibrary();

// The name Qt knows the program by.
inline constexpr char applicationName[] = "Zandrel";

// The program that shows the windows, which the program becomes when there is a display: the
// widget libraries are loaded only there, so that a script's batch run starts as fast as the
// processor alone.
inline constexpr char windowsProgramName[] = "zandrel-windows";

} // namespace zandrel
