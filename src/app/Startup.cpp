#include "Startup.h"

#include "StringTable.h"
#include "platform/FileNames.h"
#include "platform/ProgramFolder.h"

#include <QtGlobal>

namespace zandrel {

QStringList countedArguments(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        // The arguments are file names: their bytes are kept, valid UTF-8 or not.
        const QString argument = platform::fileNameFromNative(argv[i]);
        if (!argument.isEmpty())
            arguments.append(argument);
    }
    return arguments;
}

Road roadFor(const QStringList &arguments)
{
    switch (arguments.size()) {
    case 0:
        return Road::Dialog;
    case 2:
    case 3:
        return Road::Batch;
    default:
        return Road::Usage;
    }
}

QString usageMessage()
{
    return QStringList{
        QStringLiteral(
            "This utility program will apply the style sheet specified as parameter 2 to the Job or Dexmor"),
        QStringLiteral("file specified as parameter 1, to produce the transformed output file. An optional "
                       "3rd parameter"),
        QStringLiteral(
            "allows you to specify the name of the output file to be created - if specified the File Save"),
        QStringLiteral("dialog will not be presented. The Converters installed on the computer will be used "
                       "to convert a"),
        QStringLiteral("specified Job file to a Dexmor file prior to application of the style sheet."),
        QString(),
        QStringLiteral("Syntax: zandrel <full Job or Dexmor file name> <full style sheet file name> [<full "
                       "output file name>]"),
    }
        .join(QStringLiteral("\r\n"));
}

std::unique_ptr<LanguageLibrary> loadLanguageLibrary()
{
    auto beside =
        std::make_unique<LanguageLibrary>(LanguageLibrary::besideExecutable(platform::programFolder()));
    if (beside->isLoaded())
        return beside;
    return std::make_unique<LanguageLibrary>(LanguageLibrary::fileName());
}

} // namespace zandrel
