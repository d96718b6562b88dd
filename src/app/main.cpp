// Program entry: loads the language, takes one of the three roads by the number of arguments,
// and runs it with Qt dialogs when a display is there or on the console when not.
#include "QtTranslations.h"
#include "Startup.h"
#include "StringTable.h"
#include "generate/ConsoleInteraction.h"
#include "generate/ConvertForm.h"
#include "generate/ConvertFormModel.h"
#include "generate/GenerationPipeline.h"
#include "generate/QtInteraction.h"
#include "platform/ProgramFolder.h"
#include "platform/TerminationCleanup.h"
#include "settings/RegistryStore.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

using namespace zandrel;

const QString applicationTitle = QStringLiteral("Zandrel");

std::unique_ptr<LanguageLibrary> loadLanguageLibrary()
{
    auto beside =
        std::make_unique<LanguageLibrary>(LanguageLibrary::besideExecutable(platform::programFolder()));
    if (beside->isLoaded())
        return beside;
    return std::make_unique<LanguageLibrary>(LanguageLibrary::fileName());
}

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

int runWithoutDisplay(Road road, const QStringList &arguments)
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

int runWithDisplay(Road road, const QStringList &arguments)
{
    if (road == Road::Usage) {
        QtInteraction interaction;
        interaction.showMessage(MessageKind::Plain, usageMessage());
        return 0;
    }
    settings::RegFileStore settings = settings::RegFileStore::fromEnvironment();
    TConvertForm form(settings, platform::programFolder());
    if (road == Road::Dialog) {
        QObject::connect(&form, &TConvertForm::programEnded, qApp,
                         [](int exitCode) { QCoreApplication::exit(exitCode); });
        QObject::connect(&form, &QDialog::finished, qApp, [] { QCoreApplication::exit(0); });
        form.show();
        return QApplication::exec();
    }
    // Batch mode: the dialog is made but never shown, and saves nothing.
    form.setSourceFile(arguments.at(0));
    form.model().setStyleSheetPath(arguments.at(1));
    form.model().outputFileName = arguments.value(2);
    return batchExitCode(form.OKBtnClick(true));
}

} // namespace

int main(int argc, char **argv)
{
    // Before anything is made that a signal could leave behind.
    platform::installTerminationCleanup();
    // The language comes first: everything after it may show text.
    const std::unique_ptr<LanguageLibrary> language = loadLanguageLibrary();
    const LocalizedStringSource strings(*language);
    const QStringList arguments = countedArguments(argc, argv);
    const Road road = roadFor(arguments);

    if (!hasDisplay()) {
        QCoreApplication application(argc, argv);
        QCoreApplication::setApplicationName(applicationTitle);
        const int exitCode = runWithoutDisplay(road, arguments);
        // Everything a batch run writes is written and closed by now. Ending here spares the
        // run-time's teardown, which after a large job walks all its freed memory once more
        // and adds measurably to the time a script waits.
        std::fflush(nullptr);
        std::_Exit(exitCode);
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(applicationTitle);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/zandrel.svg")));
    const QtTranslations qtTexts;
    return runWithDisplay(road, arguments);
}
