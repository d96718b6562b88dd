#include "GenerationPipeline.h"

#include "PathPieces.h"
#include "StyleSheetVariables.h"
#include "app/Format.h"
#include "app/StringTable.h"
#include "convert/ConvertFile.h"
#include "convert/GridFileWarnings.h"
#include "platform/FileOperations.h"
#include "platform/TemporaryFiles.h"
#include "platform/XmlDocument.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

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

    // A converted Job file lives in a folder of its own that goes with this generation.
    std::optional<platform::PrivateTemporaryFolder> conversionFolder;
    QString dexmorFile = inputs.sourceFile;
    if (IsJobFile(inputs.sourceFile)) {
        QString convertedFile;
        QString geoDataFolder;
        conversionFolder = platform::PrivateTemporaryFolder::create(platform::temporaryFolder(), temporaryPrefix, nullptr);
        if (!conversionFolder
            || !ConvertJobFile(inputs.sourceFile, conversionFolder->path() + u'/', convertedFile, geoDataFolder,
                               batchMode, m_interaction)) {
            if (!batchMode)
                m_interaction.showMessage(MessageKind::Error, message(StringId::JobNotConverted));
            return GenerationOutcome::EndProgram;
        }
        if (!batchMode)
            ShowGridFileWarnings(m_interaction, convertedFile, geoDataFolder);
        dexmorFile = convertedFile;
    }

    QString temporaryError;
    std::optional<platform::TemporaryFile> generated =
        platform::TemporaryFile::create(platform::temporaryFolder(), temporaryPrefix, &temporaryError);
    if (!generated) {
        m_interaction.showMessage(MessageKind::Error, message(StringId::TemporaryFileFailed,
                                                              {platform::temporaryFolder(), temporaryError}));
        return GenerationOutcome::Failed;
    }

    if (IsDexmorEntry(inputs.styleSheetPath)) {
        QString copyError;
        // Checked here: a missing Dexmor file must not turn into an empty output.
        if (!platform::replaceWithCopy(dexmorFile, generated->path(), &copyError)) {
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
        const int fd = ::open(QFile::encodeName(generated->path()).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0) {
            m_interaction.showMessage(MessageKind::Error,
                                      message(StringId::TemporaryFileFailed,
                                              {platform::temporaryFolder(), QString::fromLocal8Bit(strerror(errno))}));
            return GenerationOutcome::Failed;
        }
        struct Closer {
            int fd;
            ~Closer() { ::close(fd); }
        } closer{fd};
        BusyPointer busy(m_interaction);
        try {
            source.transformNodeToFile(styleSheet, fd);
        } catch (const platform::XmlWriteError &error) {
            m_interaction.setBusy(false);
            m_interaction.showMessage(MessageKind::Error,
                                      message(StringId::OutputNotWritten, {generated->path(), error.reason()}));
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
                                                        const platform::TemporaryFile &generated,
                                                        const QString &dexmorFile)
{
    if (!inputs.outputFileName.isEmpty()) {
        if (path::extension(inputs.outputFileName).isEmpty())
            inputs.outputFileName += u'.' + extension;
        return writeOutput(generated.path(), inputs.outputFileName, inputs, dexmorFile) ? GenerationOutcome::Written
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
    if (!writeOutput(generated.path(), choice.text, inputs, dexmorFile))
        return GenerationOutcome::Failed;
    if (inputs.viewGeneratedFile)
        m_interaction.showGeneratedFile(choice.text, inputs.textFileViewer);
    else
        m_interaction.showMessage(MessageKind::Information, message(StringId::FileCreated, {choice.text}));
    return GenerationOutcome::Written;
}

bool GenerationPipeline::writeOutput(const QString &generated, const QString &target, const GenerationInputs &inputs,
                                     const QString &dexmorFile)
{
    // A report must never overwrite the job it was made from, nor its style sheet.
    for (const QString &input : {inputs.sourceFile, dexmorFile, inputs.styleSheetPath}) {
        if (platform::isSameFile(target, input)) {
            m_interaction.showMessage(MessageKind::Error, message(StringId::OutputIsAnInput, {target}));
            return false;
        }
    }
    QString reason;
    if (!platform::replaceWithCopy(generated, target, &reason)) {
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
