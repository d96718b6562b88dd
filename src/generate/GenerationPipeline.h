#pragma once

#include "base/Interaction.h"

#include <QString>
#include <QStringList>

#include <chrono>

namespace zandrel {

namespace platform {
class AnonymousFile;
struct CopyControl;
} // namespace platform
namespace processor {
class XmlDocument;
struct XmlParseError;
} // namespace processor

// What the main dialog hands to a generation.
struct GenerationInputs {
    QString sourceFile;     // the source file as typed or chosen
    QString styleSheetPath; // the chosen style sheet, or a path whose name part is Dexmor
    QString outputFileName; // batch mode with a third argument only; may get the extension appended
    bool viewGeneratedFile = false;
    QString textFileViewer;
    // Keep every white space text node of the job and the style sheet (the PreserveWhiteSpace
    // setting); otherwise they load as the original platform loaded them.
    bool preserveWhiteSpace = false;
    // The TransformationMemoryLimit setting in MB; 0 for the automatic limit.
    quint32 transformationMemoryLimitMB = 0;
};

enum class GenerationOutcome {
    Written,    // the output file was written
    Cancelled,  // the user cancelled a question; nothing was written
    Failed,     // an error was reported; nothing was written
    EndProgram, // a Job file could not be converted: the program ends with exit code 1
};

// The exit code of batch mode: 1 when the output was not written because of an error or the Job
// file could not be converted, 0 when it was written or the user cancelled.
int batchExitCode(GenerationOutcome outcome);

// One generation, from the source file to the output file, as the OK action runs it.
// It reaches the user only through the interaction, and every failure ends in an outcome:
// one that no step handles itself (a processor error, a faulty variable) is shown in the
// general handler's box after every temporary file is removed, and counts as Failed.
class GenerationPipeline {
public:
    explicit GenerationPipeline(Interaction &interaction) : m_interaction(interaction) {}

    GenerationOutcome run(GenerationInputs &inputs, bool batchMode);

private:
    GenerationOutcome runSteps(GenerationInputs &inputs, bool batchMode);
    // The files a generation reads besides the source and the style sheet the user named: the
    // Dexmor file (a converted Job file's), and those the style sheet imports, includes or reads.
    struct InputFiles {
        QString dexmorFile;
        QStringList styleSheetFiles;
        // The document types and entities that the source and the style sheet read as they loaded.
        QStringList documentFiles;
    };

    GenerationOutcome saveGeneratedFile(GenerationInputs &inputs, const QString &baseName,
                                        const QString &extension, const platform::AnonymousFile &generated,
                                        const InputFiles &inputFiles, const QStringList &processorWarnings);
    GenerationOutcome transformIntoDevice(const processor::XmlDocument &source,
                                          const processor::XmlDocument &styleSheet,
                                          const GenerationInputs &inputs, const QString &dexmorFile);
    bool refusedAsInput(const QString &target, const GenerationInputs &inputs, const InputFiles &inputFiles);
    GenerationOutcome writeOutput(const platform::AnonymousFile &generated, const QString &target,
                                  const GenerationInputs &inputs, const InputFiles &inputFiles);
    // Loading or transforming, which the user may stop; false when they did.
    bool runProcessorWork(WorkStep step, const std::function<void()> &work,
                          const std::function<WorkProgress()> &progress);
    // A copy that the user may stop; false when they did.
    bool runCopy(WorkStep step, platform::CopyControl &control, const std::function<void()> &copy);
    GenerationOutcome cancelled();
    // What the processor reported about a style sheet whose result was written, in one warning.
    void showProcessorWarnings(const QString &styleSheetPath, const QStringList &warnings);
    void showLoadError(int messageId, const QString &file, const processor::XmlParseError &error);

    Interaction &m_interaction;
    std::chrono::steady_clock::time_point m_started;
};

} // namespace zandrel
