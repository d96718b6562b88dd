// Renders the program's windows offscreen into PNG files, optionally with a language library,
// so that their layouts can be looked at without a display:
//   QT_QPA_PLATFORM=offscreen zandrel-render <output folder> [<language library>]
#include "app/QtTranslations.h"
#include "app/StringTable.h"
#include "generate/ConvertForm.h"
#include "generate/ProgressForm.h"
#include "help/HelpForm.h"
#include "settings/RegistryStore.h"
#include "uservalue/UserValueForm.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <memory>

using namespace zandrel;

namespace {

bool save(QWidget &window, const QString &folder, const QString &name)
{
    window.show();
    QApplication::processEvents();
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    const bool saved = window.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    window.hide();
    return saved;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() < 2 || arguments.size() > 3) {
        std::fprintf(stderr, "usage: zandrel-render <output folder> [<language library>]\n");
        return 2;
    }
    const QString folder = arguments.at(1);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot make %s\n", qPrintable(folder));
        return 1;
    }
    const auto language = std::make_unique<LanguageLibrary>(arguments.value(2));
    if (arguments.size() == 3 && !language->isLoaded()) {
        std::fprintf(stderr, "cannot load the language library %s\n", qPrintable(arguments.at(2)));
        return 1;
    }
    const LocalizedStringSource strings(*language);
    const QtTranslations qtTexts;

    // Settings of a user who last generated a CSV file from the sample job.
    QTemporaryDir settingsFolder;
    const QString samples = QStringLiteral(ZANDREL_SOURCE_DIR "/samples");
    QFile user(settingsFolder.filePath(QStringLiteral("user.reg")));
    if (!user.open(QIODevice::WriteOnly))
        return 1;
    QTextStream(&user)
        << "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel]\n"
        << "\"JobOrDexmorFile\"=\"" << samples << "/job.dxm\"\n"
        << "\"StyleSheetFile\"=\"" << samples << "/stylesheets/Points CSV.xsl\"\n"
        << "\"ViewGeneratedFile\"=dword:00000001\n";
    user.close();
    settings::RegFileStore settings(user.fileName(), settingsFolder.filePath(QStringLiteral("machine.reg")));

    bool ok = true;
    TConvertForm form(settings, {});
    ok &= save(form, folder, QStringLiteral("main-dialog"));

    const struct {
        const char *name;
        UserValueRequest request;
    } questions[] = {
        {"user-value-double",
         {QStringLiteral("Scale factor for horizontal distances (ground to grid)"),
          QStringLiteral("1.0000"),
          ValueType::Double,
          QStringLiteral("0.9"),
          QStringLiteral("1.1"),
          {},
          -1}},
        {"user-value-integer",
         {QStringLiteral("Decimal places for coordinates"),
          QStringLiteral("3"),
          ValueType::Integer,
          QStringLiteral("0"),
          QStringLiteral("6"),
          {},
          -1}},
        {"user-value-string",
         {QStringLiteral("Report title"),
          QStringLiteral("Survey report"),
          ValueType::String,
          {},
          {},
          {},
          -1}},
        {"user-value-menu",
         {QStringLiteral("Field delimiter"),
          QStringLiteral("Comma"),
          ValueType::StringMenu,
          {},
          {},
          {QStringLiteral("Comma"), QStringLiteral("Semicolon"), QStringLiteral("Tab")},
          0}},
    };
    for (const auto &question : questions) {
        TUserValueForm dialog;
        dialog.prepare(question.request);
        ok &= save(dialog, folder, QLatin1String(question.name));
    }

    THelpForm help(settings);
    ok &= save(help, folder, QStringLiteral("help"));

    // A transformation a minute and a half under way that has begun to write its result, and a
    // load two thirds through its file.
    const LongWork transforming{WorkStep::Transforming,
                                {},
                                {},
                                [] {
                                    return WorkProgress{1'234'567'890, 0, 48'700'000};
                                },
                                std::chrono::steady_clock::now() - std::chrono::seconds(95)};
    TProgressForm progress(nullptr, transforming);
    ok &= save(progress, folder, QStringLiteral("progress"));
    const LongWork loading{WorkStep::Loading,
                           {},
                           {},
                           [] {
                               return WorkProgress{412'000'000, 618'000'000};
                           },
                           std::chrono::steady_clock::now() - std::chrono::seconds(12)};
    TProgressForm loadProgress(nullptr, loading);
    ok &= save(loadProgress, folder, QStringLiteral("progress-loading"));
    return ok ? 0 : 1;
}
