// Program entry: loads the language, takes one of the three roads by the number of arguments and
// runs it on the console. With a display, the program becomes the windows program instead, so
// that a script's batch run never loads the widget libraries.
#include "ConsoleRoad.h"

#include "app/Format.h"
#include "app/Startup.h"
#include "app/StringTable.h"
#include "platform/DisplayCheck.h"
#include "platform/FileNames.h"
#include "platform/ProgramFolder.h"
#include "platform/SystemError.h"
#include "platform/TerminationCleanup.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

using namespace zandrel;

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
    // A display counts when its window system answers: a script started with a DISPLAY that
    // leads nowhere, or under Qt's offscreen platform, runs here on the console.
    const platform::DisplayCheck display = platform::checkDisplay();
    if (display.result == platform::DisplayCheck::Result::Reachable)
        return becomeWindowsProgram(argv);

    // Before anything is made that a signal could leave behind.
    platform::installTerminationCleanup();
    // The language comes first: everything after it may show text.
    const std::unique_ptr<LanguageLibrary> language = loadLanguageLibrary();
    const LocalizedStringSource strings(*language);
    if (display.result == platform::DisplayCheck::Result::Unreachable)
        reportDisplayNotOpened(display.display, display.reason);
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
