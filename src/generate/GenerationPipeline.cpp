#include "GenerationPipeline.h"

#include "PathPieces.h"
#include "StyleSheetVariables.h"
#include "app/Format.h"
#include "app/StringTable.h"
#include "convert/ConvertFile.h"
#include "convert/ConverterMessages.h"
#include "convert/GridFileWarnings.h"
#include "platform/FileOperations.h"
#include "platform/TemporaryFiles.h"
#include "platform/XmlDocument.h"

#include <optional>

namespace zandrel {

namespace {

const QString temporaryPrefix = QStringLiteral("Indy");

QString message(int id, std::initializer_list<FormatArgument> arguments = {})
{
    return formatText(GetLocalizedString(id), arguments);
}

} // namespace

GenerationOutcome GenerationPipeline::run(GenerationInputs &inputs, bool batchMode)
{
    if (inputs.sourceFile.isEmpty()) {
        m_interaction.showMessage(MessageKind::Error, message(StringId::SourceFileRequired));
        return GenerationOutcome::Failed;
    }

    // A converted Job file is made in a folder of its own, and read without a name from then on.
    std::optional<platform::AnonymousFile> convertedDexmor;
    QString dexmorFile = inputs.sourceFile;
    if (IsJobFile(inputs.sourceFile)) {
        QString folderError;
        std::optional<platform::PrivateTemporaryFolder> conversionFolder =
            platform::PrivateTemporaryFolder::create(platform::temporaryFolder(), temporaryPrefix,
                                                     &folderError);
        if (!conversionFolder) {
            m_interaction.showMessage(
                MessageKind::Error,
                message(StringId::ConversionFolderFailed, {platform::temporaryFolder(), folderError}));
            return GenerationOutcome::Failed;
        }
        QString convertedFile;
        QString geoDataFolder;
        if (!ConvertJobFile(inputs.sourceFile, conversionFolder->path() + u'/', convertedFile, geoDataFolder,
                            batchMode, m_interaction)) {
            if (!batchMode)
                m_interaction.showMessage(MessageKind::Error, message(StringId::JobNotConverted));
            return GenerationOutcome::EndProgram;
        }
        // Its name and folder go now, so that nothing is left however the program ends.
        QString readError;
        convertedDexmor = platform::AnonymousFile::takeOver(convertedFile, &readError);
        conversionFolder.reset();
        if (!convertedDexmor) {
            m_interaction.showMessage(MessageKind::Error,
                                      message(StringId::DexmorNotReadable, {inputs.sourceFile, readError}));
            return GenerationOutcome::Failed;
        }
        dexmorFile = convertedDexmor->path();
        if (!batchMode)
            ShowGridFileWarnings(m_interaction, dexmorFile, geoDataFolder);
    }

    // Without a name: whatever way the generation or the program ends, it leaves nothing behind.
    QString temporaryError;
    std::optional<platform::AnonymousFile> generated =
        platform::AnonymousFile::create(platform::temporaryFolder(), &temporaryError);
    if (!generated) {
        m_interaction.showMessage(MessageKind::Error, message(StringId::TemporaryFileFailed,
                                                              {platform::temporaryFolder(), temporaryError}));
        return GenerationOutcome::Failed;
    }

    if (IsDexmorEntry(inputs.styleSheetPath)) {
        QString copyError;
        // Checked here: a missing Dexmor file must not turn into an empty output.
        if (!platform::copyFileInto(dexmorFile, generated->descriptor(), &copyError)) {
            m_interaction.showMessage(MessageKind::Error,
                                      message(StringId::DexmorNotReadable, {inputs.sourceFile, copyError}));
            return GenerationOutcome::Failed;
        }
        return saveGeneratedFile(inputs, path::withoutExtension(inputs.sourceFile), QStringLiteral("dxm"), *generated,
                                 dexmorFile);
    }

    platform::XmlDocument source;
    platform::XmlDocument styleSheet;
    source.setPreserveWhiteSpace(inputs.preserveWhiteSpace);
    styleSheet.setPreserveWhiteSpace(inputs.preserveWhiteSpace);
    source.setTransformationMemoryLimit(std::size_t(inputs.transformationMemoryLimitMB) << 20);
    {
        BusyPointer busy(m_interaction);
        if (!source.load(dexmorFile)) {
            m_interaction.setBusy(false);
            showLoadError(StringId::DexmorLoadError, inputs.sourceFile, source.parseError().errorCode,
                          source.parseError().reason);
            return GenerationOutcome::Failed;
        }
        if (!styleSheet.load(inputs.styleSheetPath)) {
            m_interaction.setBusy(false);
            showLoadError(StringId::StyleSheetLoadError, inputs.styleSheetPath, styleSheet.parseError().errorCode,
                          styleSheet.parseError().reason);
            return GenerationOutcome::Failed;
        }
    }

    switch (ApplyUserVariables(styleSheet, inputs.styleSheetPath, m_interaction)) {
    case UserVariablesResult::Cancelled:
        return GenerationOutcome::Cancelled;
    case UserVariablesResult::Failed:
        return GenerationOutcome::Failed;
    case UserVariablesResult::Applied:
        break;
    }

    QString extension;
    {
        BusyPointer busy(m_interaction);
        try {
            source.transformNodeToFile(styleSheet, generated->descriptor());
        } catch (const platform::XmlWriteError &error) {
            m_interaction.setBusy(false);
            m_interaction.showMessage(
                MessageKind::Error,
                message(StringId::OutputNotWritten, {platform::temporaryFolder(), error.reason()}));
            return GenerationOutcome::Failed;
        }
        extension = GetOutputExtension(styleSheet);
    }
    // Batch mode ends the process after this one generation.
    if (batchMode)
        platform::XmlDocument::keepUntilProcessEnds(std::move(source));
    return saveGeneratedFile(inputs, path::namePart(inputs.sourceFile), extension, *generated, dexmorFile);
}

GenerationOutcome GenerationPipeline::saveGeneratedFile(GenerationInputs &inputs, const QString &baseName,
                                                        const QString &extension,
                                                        const platform::AnonymousFile &generated,
                                                        const QString &dexmorFile)
{
    if (!inputs.outputFileName.isEmpty()) {
        if (path::extension(inputs.outputFileName).isEmpty())
            inputs.outputFileName += u'.' + extension;
        return writeOutput(generated, inputs.outputFileName, inputs, dexmorFile) ? GenerationOutcome::Written
                                                                                 : GenerationOutcome::Failed;
    }

    SaveFileRequest request;
    request.defaultSuffix = extension;
    request.fileName = baseName + u'.' + extension;
    request.filter = message(StringId::SaveFilterDescription, {path::namePart(inputs.styleSheetPath)})
                     + QStringLiteral(" (*.") + extension + QStringLiteral(")|*.") + extension;
    const Answer choice = m_interaction.chooseSaveFile(request);
    switch (choice.status) {
    case Answer::Status::Cancelled:
        return GenerationOutcome::Cancelled;
    case Answer::Status::Failed:
        return GenerationOutcome::Failed;
    case Answer::Status::Given:
        break;
    }
    if (!writeOutput(generated, choice.text, inputs, dexmorFile))
        return GenerationOutcome::Failed;
    if (inputs.viewGeneratedFile)
        m_interaction.showGeneratedFile(choice.text, inputs.textFileViewer);
    else
        m_interaction.showMessage(MessageKind::Information, message(StringId::FileCreated, {choice.text}));
    return GenerationOutcome::Written;
}

bool GenerationPipeline::writeOutput(const platform::AnonymousFile &generated, const QString &target,
                                     const GenerationInputs &inputs, const QString &dexmorFile)
{
    // A report must never overwrite the job it was made from, nor its style sheet.
    for (const QString &input : {inputs.sourceFile, dexmorFile, inputs.styleSheetPath}) {
        if (platform::isSameFile(target, input)) {
            m_interaction.showMessage(MessageKind::Error, message(StringId::OutputIsAnInput, {target}));
            return false;
        }
    }
    QString reason;
    if (!platform::replaceWithContents(generated.descriptor(), target, &reason)) {
        m_interaction.showMessage(MessageKind::Error, message(StringId::OutputNotWritten, {target, reason}));
        return false;
    }
    return true;
}

void GenerationPipeline::showLoadError(int messageId, const QString &file, int errorCode, const QString &reason)
{
    const QString text = GetLocalizedString(messageId) + QStringLiteral(" (") + file + QStringLiteral(")\r\n")
                         + GetLocalizedString(StringId::ErrorNumber) + u' ' + QString::number(errorCode)
                         + QStringLiteral("\r\n") + GetLocalizedString(StringId::Reason) + u' ' + reason;
    m_interaction.showMessage(MessageKind::Plain, text);
}

} // namespace zandrel
