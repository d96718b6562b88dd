#include "GenerationPipeline.h"

#include "StyleSheetVariables.h"
#include "app/Format.h"
#include "app/StringTable.h"
#include "base/GenerationError.h"
#include "base/PathPieces.h"
#include "convert/ConvertFile.h"
#include "convert/ConverterMessages.h"
#include "convert/GridFileWarnings.h"
#include "platform/FileOperations.h"
#include "platform/TemporaryFiles.h"
#include "processor/XmlDocument.h"

#include <algorithm>
#include <optional>

namespace zandrel {

namespace {

const QString temporaryPrefix = QStringLiteral("Indy");

QString message(int id, std::initializer_list<FormatArgument> arguments = {})
{
    return formatText(GetLocalizedString(id), arguments);
}

// The output file as it will be named: the name given with the extension appended where it has
// none, or the name the Save dialog will propose.
QString outputNameFor(const GenerationInputs &inputs, const QString &extension)
{
    if (inputs.outputFileName.isEmpty())
        return path::namePart(inputs.sourceFile) + u'.' + extension;
    if (path::extension(inputs.outputFileName).isEmpty())
        return inputs.outputFileName + u'.' + extension;
    return inputs.outputFileName;
}

// A Job file that can be read only once (a FIFO) copied into the conversion's folder, for the
// converters, which read it more than once; empty when that fails.
QString readOnceCopy(const QString &jobFile, const QString &folder)
{
    const QString copy = folder + u'/' + path::fileName(jobFile);
    return platform::copyToNewFile(jobFile, copy, nullptr) ? copy : QString();
}

// A control character (line breaks and tabs among them), a line or paragraph separator, or a
// character that changes the direction of the text around it.
bool isHiddenInNames(QChar c)
{
    const char16_t u = c.unicode();
    return c.category() == QChar::Other_Control || u == 0x2028 || u == 0x2029 || u == 0x061C || u == 0x200E ||
           u == 0x200F || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
}

// The text with each such character written as [U+XXXX].
QString withHiddenCharactersShown(const QString &text)
{
    QString shown;
    for (const QChar c : text)
        shown += isHiddenInNames(c)
                     ? QStringLiteral("[U+%1]").arg(uint(c.unicode()), 4, 16, QLatin1Char('0')).toUpper()
                     : QString(c);
    return shown;
}

} // namespace

int batchExitCode(GenerationOutcome outcome)
{
    switch (outcome) {
    case GenerationOutcome::Written:
    case GenerationOutcome::Cancelled:
        return 0;
    case GenerationOutcome::Failed:
    case GenerationOutcome::EndProgram:
        break;
    }
    return 1;
}

GenerationOutcome GenerationPipeline::run(GenerationInputs &inputs, bool batchMode)
{
    m_started = std::chrono::steady_clock::now();
    try {
        return runSteps(inputs, batchMode);
    } catch (const processor::XsltProcessorError &error) {
        m_interaction.showMessage(MessageKind::ApplicationError,
                                  message(StringId::StyleSheetNotApplied, {inputs.styleSheetPath}) + u'\n' +
                                      error.messages().join(u'\n'));
    } catch (const GenerationError &error) {
        m_interaction.showMessage(MessageKind::ApplicationError, error.message());
    } catch (const std::exception &error) {
        m_interaction.showMessage(MessageKind::ApplicationError, QString::fromLocal8Bit(error.what()));
    }
    return GenerationOutcome::Failed;
}

GenerationOutcome GenerationPipeline::runSteps(GenerationInputs &inputs, bool batchMode)
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
        bool conversionCancelled = false;
        const QString jobFile = platform::fileKind(inputs.sourceFile) == platform::FileKind::Other
                                    ? readOnceCopy(inputs.sourceFile, conversionFolder->path())
                                    : inputs.sourceFile;
        if (jobFile.isEmpty() ||
            !ConvertJobFile(jobFile, conversionFolder->path() + u'/', convertedFile, geoDataFolder, batchMode,
                            m_interaction, &conversionCancelled, m_started)) {
            if (conversionCancelled)
                return cancelled();
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
        bool copied = false;
        platform::CopyControl control;
        if (!runCopy(WorkStep::CopyingDexmor, control, [&] {
                copied = platform::copyFileInto(dexmorFile, generated->descriptor(), &copyError, &control);
            }))
            return cancelled();
        // Checked here: a missing Dexmor file must not turn into an empty output.
        if (!copied) {
            m_interaction.showMessage(MessageKind::Error,
                                      message(StringId::DexmorNotReadable, {inputs.sourceFile, copyError}));
            return GenerationOutcome::Failed;
        }
        return saveGeneratedFile(inputs, path::withoutExtension(inputs.sourceFile), QStringLiteral("dxm"),
                                 *generated, {dexmorFile, {}}, {});
    }

    processor::XmlDocument source;
    processor::XmlDocument styleSheet;
    source.setPreserveWhiteSpace(inputs.preserveWhiteSpace);
    styleSheet.setPreserveWhiteSpace(inputs.preserveWhiteSpace);
    source.setTransformationMemoryLimit(std::size_t(inputs.transformationMemoryLimitMB) << 20);
    styleSheet.setTransformationMemoryLimit(std::size_t(inputs.transformationMemoryLimitMB) << 20);
    // Read once for the document and for the answers written back: the file may be a FIFO.
    QByteArray styleSheetBytes;
    std::optional<platform::FileIdentity> styleSheetFile;
    bool sourceLoaded = false;
    bool styleSheetLoaded = false;
    if (!runProcessorWork(
            WorkStep::Loading,
            [&] {
                sourceLoaded = source.load(dexmorFile);
                styleSheetLoaded =
                    sourceLoaded && styleSheet.load(inputs.styleSheetPath, styleSheetBytes, styleSheetFile);
            },
            [] {
                const processor::XmlDocument::Progress read = processor::XmlDocument::progress();
                return WorkProgress{read.done, read.total};
            }))
        return cancelled();
    if (!sourceLoaded) {
        showLoadError(StringId::DexmorLoadError, inputs.sourceFile, source.parseError());
        return GenerationOutcome::Failed;
    }
    if (!styleSheetLoaded) {
        showLoadError(StringId::StyleSheetLoadError, inputs.styleSheetPath, styleSheet.parseError());
        return GenerationOutcome::Failed;
    }

    switch (ApplyUserVariables(styleSheet, inputs.styleSheetPath,
                               StyleSheetLines(std::move(styleSheetBytes), styleSheetFile), m_interaction)) {
    case UserVariablesResult::Cancelled:
        return GenerationOutcome::Cancelled;
    case UserVariablesResult::Failed:
        return GenerationOutcome::Failed;
    case UserVariablesResult::Applied:
        break;
    }

    // A device or a FIFO named as the output cannot be replaced: the result goes straight into it.
    if (!inputs.outputFileName.isEmpty() &&
        platform::fileKind(inputs.outputFileName) == platform::FileKind::Other)
        return transformIntoDevice(source, styleSheet, inputs, dexmorFile);

    QStringList styleSheetFiles;
    QStringList processorWarnings;
    std::optional<QString> writeFailure;
    const int output = generated->descriptor();
    const bool finished = runProcessorWork(
        WorkStep::Transforming,
        [&] {
            try {
                styleSheetFiles = source.transformNodeToFile(styleSheet, output, &processorWarnings);
            } catch (const processor::XmlWriteError &error) {
                writeFailure = error.reason();
            }
        },
        [output] {
            return WorkProgress{processor::XmlDocument::progress().done, 0, platform::writtenBytes(output)};
        });
    if (!finished)
        return cancelled();
    const QString extension = GetOutputExtension(styleSheet);
    if (writeFailure) {
        // The user knows the output by its name, and where to make room by the folder's.
        m_interaction.showMessage(MessageKind::Error, message(StringId::OutputNotWrittenInTemporaryFolder,
                                                              {outputNameFor(inputs, extension),
                                                               platform::temporaryFolder(), *writeFailure}));
        return GenerationOutcome::Failed;
    }
    const QStringList documentFiles = source.filesRead() + styleSheet.filesRead();
    // Batch mode ends the process after this one generation.
    if (batchMode)
        processor::XmlDocument::keepUntilProcessEnds(std::move(source));
    return saveGeneratedFile(inputs, path::namePart(inputs.sourceFile), extension, *generated,
                             {dexmorFile, styleSheetFiles, documentFiles}, processorWarnings);
}

GenerationOutcome GenerationPipeline::transformIntoDevice(const processor::XmlDocument &source,
                                                          const processor::XmlDocument &styleSheet,
                                                          const GenerationInputs &inputs,
                                                          const QString &dexmorFile)
{
    const QString &target = inputs.outputFileName;
    if (refusedAsInput(target, inputs, {dexmorFile, {}, source.filesRead() + styleSheet.filesRead()}))
        return GenerationOutcome::Failed;
    QString reason;
    QStringList processorWarnings;
    const platform::FileDescriptor output = platform::openForWriting(target, &reason);
    if (output.isOpen() && !runProcessorWork(
                               WorkStep::Transforming,
                               [&] {
                                   try {
                                       source.transformNodeToFile(styleSheet, output.get(), &processorWarnings);
                                   } catch (const processor::XmlWriteError &error) {
                                       reason = error.reason();
                                   }
                               },
                               [] { return WorkProgress{processor::XmlDocument::progress().done}; }))
        return cancelled();
    if (reason.isEmpty()) {
        showProcessorWarnings(inputs.styleSheetPath, processorWarnings);
        return GenerationOutcome::Written;
    }
    m_interaction.showMessage(MessageKind::Error, message(StringId::OutputNotWritten, {target, reason}));
    return GenerationOutcome::Failed;
}

GenerationOutcome GenerationPipeline::saveGeneratedFile(GenerationInputs &inputs, const QString &baseName,
                                                        const QString &extension,
                                                        const platform::AnonymousFile &generated,
                                                        const InputFiles &inputFiles,
                                                        const QStringList &processorWarnings)
{
    const bool extensionUsed = inputs.outputFileName.isEmpty() ||
                               (path::extension(inputs.outputFileName).isEmpty() &&
                                platform::fileKind(inputs.outputFileName) != platform::FileKind::Other);
    // A folder part would put the output elsewhere than the user named it.
    if (extensionUsed && extension.contains(u'/')) {
        m_interaction.showMessage(MessageKind::Error,
                                  message(StringId::ExtensionWithFolder, {inputs.styleSheetPath, extension}));
        return GenerationOutcome::Failed;
    }
    // A line break or tab would make a name that scripts and listings split, a direction
    // override one that reads as another extension ("report.exe" shown as "report.csv").
    if (extensionUsed && std::any_of(extension.cbegin(), extension.cend(), isHiddenInNames)) {
        m_interaction.showMessage(MessageKind::Error,
                                  message(StringId::ExtensionWithControlCharacter,
                                          {inputs.styleSheetPath, withHiddenCharactersShown(extension)}));
        return GenerationOutcome::Failed;
    }
    if (!inputs.outputFileName.isEmpty()) {
        if (extensionUsed)
            inputs.outputFileName += u'.' + extension;
        if (const GenerationOutcome written = writeOutput(generated, inputs.outputFileName, inputs, inputFiles);
            written != GenerationOutcome::Written)
            return written;
        showProcessorWarnings(inputs.styleSheetPath, processorWarnings);
        return GenerationOutcome::Written;
    }

    SaveFileRequest request;
    request.defaultSuffix = extension;
    request.fileName = baseName + u'.' + extension;
    request.filter = message(StringId::SaveFilterDescription, {path::namePart(inputs.styleSheetPath)}) +
                     QStringLiteral(" (*.") + extension + QStringLiteral(")|*.") + extension;
    const Answer choice = m_interaction.chooseSaveFile(request);
    switch (choice.status) {
    case Answer::Status::Cancelled:
        return GenerationOutcome::Cancelled;
    case Answer::Status::Failed:
        return GenerationOutcome::Failed;
    case Answer::Status::Given:
        break;
    }
    if (const GenerationOutcome written = writeOutput(generated, choice.text, inputs, inputFiles);
        written != GenerationOutcome::Written)
        return written;
    showProcessorWarnings(inputs.styleSheetPath, processorWarnings);
    if (inputs.viewGeneratedFile)
        m_interaction.showGeneratedFile(choice.text, inputs.textFileViewer);
    else
        m_interaction.showMessage(MessageKind::Information, message(StringId::FileCreated, {choice.text}));
    return GenerationOutcome::Written;
}

bool GenerationPipeline::refusedAsInput(const QString &target, const GenerationInputs &inputs,
                                        const InputFiles &inputFiles)
{
    // A report must never overwrite the job it was made from, nor its style sheet, nor any other
    // file the generation read.
    for (const QString &input : {inputs.sourceFile, inputFiles.dexmorFile, inputs.styleSheetPath}) {
        if (platform::isSameFile(target, input)) {
            m_interaction.showMessage(MessageKind::Error, message(StringId::OutputIsAnInput, {target}));
            return true;
        }
    }
    for (const QString &input : inputFiles.styleSheetFiles) {
        if (platform::isSameFile(target, input)) {
            m_interaction.showMessage(MessageKind::Error,
                                      message(StringId::OutputIsReadByStyleSheet, {target}));
            return true;
        }
    }
    for (const QString &input : inputFiles.documentFiles) {
        if (platform::isSameFile(target, input)) {
            m_interaction.showMessage(MessageKind::Error, message(StringId::OutputIsDocumentPart, {target}));
            return true;
        }
    }
    return false;
}

GenerationOutcome GenerationPipeline::writeOutput(const platform::AnonymousFile &generated,
                                                  const QString &target, const GenerationInputs &inputs,
                                                  const InputFiles &inputFiles)
{
    if (refusedAsInput(target, inputs, inputFiles))
        return GenerationOutcome::Failed;
    QString reason;
    bool replaced = false;
    platform::CopyControl control;
    if (!runCopy(WorkStep::Saving, control, [&] {
            replaced = platform::replaceWithContents(generated.descriptor(), target, &reason, &control);
        }))
        return cancelled();
    if (!replaced) {
        m_interaction.showMessage(MessageKind::Error, message(StringId::OutputNotWritten, {target, reason}));
        return GenerationOutcome::Failed;
    }
    return GenerationOutcome::Written;
}

bool GenerationPipeline::runProcessorWork(WorkStep step, const std::function<void()> &work,
                                          const std::function<WorkProgress()> &progress)
{
    processor::XmlDocument::clearStopRequest();
    return m_interaction.runLongWork({step, work, &processor::XmlDocument::requestStop, progress, m_started});
}

bool GenerationPipeline::runCopy(WorkStep step, platform::CopyControl &control,
                                 const std::function<void()> &copy)
{
    return m_interaction.runLongWork({step, copy, [&control] { control.stop.store(true); },
                                      [&control] {
                                          return WorkProgress{control.copied.load(std::memory_order_relaxed),
                                                              control.total.load(std::memory_order_relaxed)};
                                      },
                                      m_started});
}

void GenerationPipeline::showProcessorWarnings(const QString &styleSheetPath, const QStringList &warnings)
{
    if (warnings.isEmpty())
        return;
    // A style sheet that reports once for every point of a large job would make a box no one
    // can read, or close.
    constexpr qsizetype shownLines = 40;
    QString text = message(StringId::StyleSheetWarnings, {styleSheetPath}) + u'\n' +
                   warnings.first(std::min(shownLines, warnings.size())).join(u'\n');
    if (warnings.size() > shownLines)
        text += u'\n' + message(StringId::MoreWarnings, {int(warnings.size() - shownLines)});
    m_interaction.showMessage(MessageKind::Warning, text);
}

GenerationOutcome GenerationPipeline::cancelled()
{
    // The user's own Cancel needs no word: the dialog is back, or batch mode ends.
    return GenerationOutcome::Cancelled;
}

void GenerationPipeline::showLoadError(int messageId, const QString &file,
                                       const processor::XmlParseError &error)
{
    // The parser's own words for running out of memory say nothing a user can act on.
    const QString reason = !error.outOfMemory ? error.reason
                           : error.memoryLimit
                               ? message(StringId::DocumentPastMemoryLimit, {int(error.memoryLimit >> 20)})
                               : message(StringId::DocumentOutOfMemory);
    const QString text = GetLocalizedString(messageId) + QStringLiteral(" (") + file +
                         QStringLiteral(")\r\n") + GetLocalizedString(StringId::ErrorNumber) + u' ' +
                         QString::number(error.errorCode) + QStringLiteral("\r\n") +
                         GetLocalizedString(StringId::Reason) + u' ' + reason;
    m_interaction.showMessage(MessageKind::Plain, text);
}

} // namespace zandrel
