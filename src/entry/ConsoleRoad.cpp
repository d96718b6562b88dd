#include "ConsoleRoad.h"

#include "app/Format.h"
#include "app/StringTable.h"
#include "generate/ConsoleInteraction.h"
#include "generate/ConvertFormModel.h"
#include "generate/GenerationPipeline.h"
#include "platform/ProgramFolder.h"
#include "settings/RegistryStore.h"

#include <QFile>

#include <unistd.h>

namespace zandrel {

namespace {

// Batch mode reads the dialog's settings (among them whether to view the file) and fills the
// source, the style sheet and the output from the arguments; it writes no settings.
GenerationInputs batchInputs(const QStringList &arguments)
{
    ConvertFormModel model;
    model.create(settings::RegFileStore::fromEnvironment(), platform::programFolder());
    model.sourceFile = arguments.at(0);
    model.setStyleSheetPath(arguments.at(1));
    model.outputFileName = arguments.value(2);
    return model.generationInputs();
}

} // namespace

int runOnConsole(Road road, const QStringList &arguments)
{
    QFile input;
    QFile output;
    QFile errors;
    input.open(stdin, QIODevice::ReadOnly);
    output.open(stdout, QIODevice::WriteOnly);
    errors.open(stderr, QIODevice::WriteOnly);
    ConsoleInteraction interaction(input, output, errors, ::isatty(STDIN_FILENO) == 1);
    interaction.setShowsProgress(::isatty(STDERR_FILENO) == 1);

    switch (road) {
    case Road::Usage:
        output.write(usageMessage().replace(QStringLiteral("\r\n"), QStringLiteral("\n")).toUtf8() + '\n');
        return 0;
    case Road::Dialog:
        interaction.showMessage(MessageKind::Error, GetLocalizedString(StringId::DisplayRequired));
        return 1;
    case Road::Batch:
        break;
    }
    GenerationInputs inputs = batchInputs(arguments);
    GenerationPipeline pipeline(interaction);
    return batchExitCode(pipeline.run(inputs, true));
}

void reportDisplayNotOpened(const QString &display, const QString &reason)
{
    QFile input;
    QFile output;
    QFile errors;
    errors.open(stderr, QIODevice::WriteOnly);
    ConsoleInteraction interaction(input, output, errors, false);
    interaction.showMessage(MessageKind::Warning,
                            formatText(GetLocalizedString(StringId::DisplayNotOpened), {display, reason}));
}

} // namespace zandrel
