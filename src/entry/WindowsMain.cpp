// Entry of the windows program, which the program becomes when there is a display: the same
// three roads, with Qt dialogs.
#include "app/QtTranslations.h"
#include "app/Startup.h"
#include "app/StringTable.h"
#include "generate/ConvertForm.h"
#include "generate/GenerationPipeline.h"
#include "generate/QtInteraction.h"
#include "platform/ProgramFolder.h"
#include "platform/TerminationCleanup.h"
#include "settings/RegistryStore.h"

#include <QApplication>
#include <QIcon>

#include <memory>

namespace {

using namespace zandrel;

int runWithDisplay(Road road, const QStringList &arguments)
{
    if (road == Road::Usage) {
        showUsageMessage(usageMessage());
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

    QApplication application(argc, argv);
    QApplication::setApplicationName(QLatin1String(applicationName));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/zandrel.svg")));
    const QtTranslations qtTexts;
    return runWithDisplay(road, arguments);
}
