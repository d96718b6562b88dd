// Program entry: loads the language, takes one of the three roads by the number of arguments and
// runs it on the console. With a display, the program becomes the windows program instead, so
// that a script's batch run never loads the widget libraries.
#include "app/Format.h"
#include "app/Startup.h"
#include "app/StringTable.h"
#include "generate/ConsoleInteraction.h"
#include "generate/ConvertFormModel.h"
#include "generate/GenerationPipeline.h"
#include "platform/FileNames.h"
#include "platform/ProgramFolder.h"
#include "platform/SystemError.h"
#include "platform/TerminationCleanup.h"
#include "settings/RegistryStore.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

using namespace zandrel;

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

// Replaces this process with the windows program, with the same arguments; returns only when
// it cannot be started.
int becomeWindowsProgram(char **argv)
{
    const QString program = platform::helperProgram(QLatin1String(windowsProgramName));
    const QByteArray nativeProgram = platform::nativeFileName(program);
    argv[0] = const_cast<char *>(nativeProgram.constData());
    ::execv(nativeProgram.constData(), argv);
    const QString reason = platform::systemErrorText(errno);
    // Loaded only here: the windows program loads the language itself.
    const std::unique_ptr<LanguageLibrary> language = loadLanguageLibrary();
    const LocalizedStringSource strings(*language);
    const QString message =
        formatText(GetLocalizedString(StringId::WindowsProgramMissing), {program, reason});
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (hasDisplay())
        return becomeWindowsProgram(argv);

    // Before anything is made that a signal could leave behind.
    platform::installTerminationCleanup();
    // The language comes first: everything after it may show text.
    const std::unique_ptr<LanguageLibrary> language = loadLanguageLibrary();
    const LocalizedStringSource strings(*language);
    const QStringList arguments = countedArguments(argc, argv);
    const Road road = roadFor(arguments);
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QLatin1String(applicationName));
    const int exitCode = runOnConsole(road, arguments);
    // Everything a batch run writes is written and closed by now. Ending here spares the
    // run-time's teardown, which after a large job walks all its freed memory once more and
    // adds measurably to the time a script waits.
    std::fflush(nullptr);
    std::_Exit(exitCode);
}
