#pragma once

#include <QString>
#include <QStringList>

namespace zandrel {

class Interaction;
struct GenerationInputs;
class GenerationPipeline;
enum class GenerationOutcome;

// The three roads the program can take, by the number of arguments.
enum class Road { Dialog, Batch, Usage };

// The arguments that count: the shell has split them already; an empty one does not count.
QStringList countedArguments(int argc, char **argv);
Road roadFor(const QStringList &arguments);

// The fixed usage message, lines joined by CR LF.
QString usageMessage();

// True when a display (X11, Wayland or an explicit Qt platform) is there to show windows on.
bool hasDisplay();

// Runs one generation as the OK action does, and reports a failure that the generation does
// not catch (a processor error) in the general handler's box. The result is the outcome;
// a failure reported here counts as Failed.
GenerationOutcome runGeneration(GenerationPipeline &pipeline, GenerationInputs &inputs, bool batchMode,
                                Interaction &interaction);

// The exit code of batch mode: 1 when the output was not written because of an error or the Job
// file could not be converted, 0 when it was written or the user cancelled.
int batchExitCode(GenerationOutcome outcome);

} // namespace zandrel
