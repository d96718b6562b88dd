#include "app/StringTable.h"
#include "generate/GenerationPipeline.h"
#include "platform/SystemError.h"
#include "support/FileSizeLimit.h"
#include "support/ScriptedInteraction.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <optional>
#include <unistd.h>

using namespace zandrel;

Q_DECLARE_METATYPE(zandrel::MessageKind)
Q_DECLARE_METATYPE(zandrel::GenerationOutcome)

namespace {

const QString pointsCsv = QStringLiteral("P1,1000.5,2000.25\nStraße 2,1010,2003\n");

// Notes what the output file holds when a warning is shown.
class WarningWatch : public ScriptedInteraction {
public:
    QString output;
    QByteArray outputAtWarning;

    void showMessage(MessageKind kind, const QString &text) override
    {
        if (kind == MessageKind::Warning)
            outputAtWarning = QFile::exists(output) ? readAll(output) : QByteArray("(no file)");
        ScriptedInteraction::showMessage(kind, text);
    }
};

} // namespace

class GenerationPipelineTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_work;      // a folder with blanks, dots and non-ASCII letters in its path
    QString m_temporary; // TMPDIR of the pipeline, checked to be empty after every run
    QByteArray m_savedTmpdir;

    QString data(const QString &name) const { return m_work + u'/' + name; }

    GenerationOutcome run(ScriptedInteraction &interaction, GenerationInputs &inputs, bool batchMode = true)
    {
        GenerationPipeline pipeline(interaction);
        return pipeline.run(inputs, batchMode);
    }

    GenerationInputs inputs(const QString &source, const QString &styleSheet,
                            const QString &output = {}) const
    {
        GenerationInputs result;
        result.sourceFile = source.isEmpty() ? QString() : data(source);
        result.styleSheetPath =
            styleSheet.contains(u'/') || styleSheet.isEmpty() ? styleSheet : data(styleSheet);
        result.outputFileName = output.isEmpty() ? QString() : data(output);
        return result;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        m_work = m_root.filePath(QStringLiteral("Vermessung v1.2/Straße Süd"));
        m_temporary = m_root.filePath(QStringLiteral("tmp"));
        QVERIFY(QDir().mkpath(m_work));
        QVERIFY(QDir().mkpath(m_temporary));
        const QDir source(QStringLiteral(ZANDREL_SOURCE_DIR "/tests/data/pipeline"));
        for (const QString &name : source.entryList(QDir::Files))
            QVERIFY(QFile::copy(source.filePath(name), data(name)));
        m_savedTmpdir = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(m_temporary));
    }

    void cleanupTestCase() { qputenv("TMPDIR", m_savedTmpdir); }

    void cleanup()
    {
        // No temporary file outlives a generation, whatever way it ended.
        QCOMPARE(QDir(m_temporary).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
        for (const QString &name : QDir(m_work).entryList({QStringLiteral("out*")}, QDir::AllEntries))
            QVERIFY(QFileInfo(data(name)).isDir() ? QDir(data(name)).removeRecursively()
                                                  : QFile::remove(data(name)));
    }

    void outputNameFromTheCommandLine_data()
    {
        QTest::addColumn<QString>("styleSheet");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QByteArray>("content");
        const QByteArray csv = pointsCsv.toUtf8();
        const QByteArray job = readAll(QStringLiteral(ZANDREL_SOURCE_DIR "/tests/data/pipeline/job.dxm"));
        QTest::newRow("extension appended") << "points.xsl"
                                            << "out"
                                            << "out.csv" << csv;
        QTest::newRow("own extension kept") << "points.xsl"
                                            << "out.txt"
                                            << "out.txt" << csv;
        QTest::newRow("no fileExt gives txt") << "no-extension.xsl"
                                              << "out"
                                              << "out.txt" << csv;
        QTest::newRow("empty fileExt") << "empty-extension.xsl"
                                       << "out"
                                       << "out." << csv;
        QTest::newRow("leading dot kept") << "dotted-extension.xsl"
                                          << "out"
                                          << "out..csv" << csv;
        QTest::newRow("empty result") << "empty-output.xsl"
                                      << "out"
                                      << "out.txt" << QByteArray();
        QTest::newRow("Dexmor entry") << "Dexmor"
                                      << "out"
                                      << "out.dxm" << job;
        QTest::newRow("Dexmor entry, any case") << "dexmor.XSL"
                                                << "out.xml"
                                                << "out.xml" << job;
    }
    void outputNameFromTheCommandLine()
    {
        QFETCH(QString, styleSheet);
        QFETCH(QString, output);
        QFETCH(QString, written);
        QFETCH(QByteArray, content);
        ScriptedInteraction interaction;
        GenerationInputs in = inputs(QStringLiteral("job.dxm"), styleSheet, output);
        QCOMPARE(run(interaction, in), GenerationOutcome::Written);
        QCOMPARE(in.outputFileName, data(written));
        QCOMPARE(readAll(data(written)), content);
        QVERIFY(interaction.messages.isEmpty());
        QVERIFY(interaction.saveRequests.isEmpty());
        QVERIFY(!interaction.busy);
    }

    void saveDialogProposal_data()
    {
        QTest::addColumn<QString>("styleSheet");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("style sheet") << "points.xsl"
                                     << "job.csv"
                                     << "points files (*.csv)|*.csv"
                                     << "csv";
        QTest::newRow("empty extension") << "empty-extension.xsl"
                                         << "job."
                                         << "empty-extension files (*.)|*."
                                         << "";
    }
    void saveDialogProposal()
    {
        QFETCH(QString, styleSheet);
        QFETCH(QString, fileName);
        QFETCH(QString, filter);
        QFETCH(QString, suffix);
        ScriptedInteraction interaction;
        GenerationInputs in = inputs(QStringLiteral("job.dxm"), styleSheet);
        QCOMPARE(run(interaction, in), GenerationOutcome::Cancelled);
        QCOMPARE(interaction.saveRequests.size(), 1);
        QCOMPARE(interaction.saveRequests[0].fileName, fileName);
        QCOMPARE(interaction.saveRequests[0].filter, filter);
        QCOMPARE(interaction.saveRequests[0].defaultSuffix, suffix);
        QVERIFY(interaction.messages.isEmpty());
    }

    void dexmorEntryProposesTheSourceFolder()
    {
        ScriptedInteraction interaction;
        GenerationInputs in = inputs(QStringLiteral("job.dxm"), QStringLiteral("/styles/Dexmor"));
        QCOMPARE(run(interaction, in), GenerationOutcome::Cancelled);
        QCOMPARE(interaction.saveRequests.size(), 1);
        QCOMPARE(interaction.saveRequests[0].fileName, data(QStringLiteral("job.dxm")));
        QCOMPARE(interaction.saveRequests[0].filter, QStringLiteral("Dexmor files (*.dxm)|*.dxm"));
    }

    void savedFileIsReportedOrShown_data()
    {
        QTest::addColumn<bool>("view");
        QTest::newRow("success message") << false;
        QTest::newRow("viewed") << true;
    }
    void savedFileIsReportedOrShown()
    {
        QFETCH(bool, view);
        ScriptedInteraction interaction;
        interaction.saveAnswers.push_back(Answer::given(data(QStringLiteral("out report.csv"))));
        GenerationInputs in = inputs(QStringLiteral("job.dxm"), QStringLiteral("points.xsl"));
        in.viewGeneratedFile = view;
        QCOMPARE(run(interaction, in), GenerationOutcome::Written);
        QCOMPARE(readAll(data(QStringLiteral("out report.csv"))), pointsCsv.toUtf8());
        if (view) {
            QCOMPARE(interaction.viewedFiles, QStringList{data(QStringLiteral("out report.csv"))});
            QVERIFY(interaction.messages.isEmpty());
        } else {
            QVERIFY(interaction.viewedFiles.isEmpty());
            QCOMPARE(interaction.messages.size(), 1);
            QCOMPARE(interaction.messages[0].kind, MessageKind::Information);
            QCOMPARE(
                interaction.messages[0].text,
                QStringLiteral("File %1 successfully created").arg(data(QStringLiteral("out report.csv"))));
        }
    }

    void existingOutputIsReplaced()
    {
        QVERIFY(writeFile(data(QStringLiteral("out.csv")), QByteArray(100000, 'x')));
        ScriptedInteraction interaction;
        GenerationInputs in =
            inputs(QStringLiteral("job.dxm"), QStringLiteral("points.xsl"), QStringLiteral("out.csv"));
        QCOMPARE(run(interaction, in), GenerationOutcome::Written);
        QCOMPARE(readAll(data(QStringLiteral("out.csv"))), pointsCsv.toUtf8());
    }

    void failuresAreReported_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("styleSheet");
        QTest::addColumn<MessageKind>("kind");
        QTest::addColumn<QStringList>("textParts");
        QTest::newRow("no source") << ""
                                   << "points.xsl" << MessageKind::Error
                                   << QStringList{"A Dexmor or Job file must be specified"};
        QTest::newRow("missing source")
            << "missing.dxm"
            << "points.xsl" << MessageKind::Plain
            << QStringList{"Error loading Dexmor file (",
                           "missing.dxm)\r\nError number: ", "\r\nReason: ", "No such file or directory"};
        QTest::newRow("source not well-formed")
            << "not-well-formed.dxm"
            << "points.xsl" << MessageKind::Plain
            << QStringList{"Error loading Dexmor file (", "not-well-formed.dxm)",
                           "Reason: ", "line 4, column"};
        QTest::newRow("source is a folder") << "."
                                            << "points.xsl" << MessageKind::Plain
                                            << QStringList{"Error loading Dexmor file", "Is a directory"};
        QTest::newRow("Job file given as XML")
            << "job-as-xml.dxm"
            << "points.xsl" << MessageKind::Plain
            << QStringList{"Error loading Dexmor file", "line 1, column 1"};
        QTest::newRow("missing style sheet")
            << "job.dxm"
            << "missing.xsl" << MessageKind::Plain
            << QStringList{"Error loading style sheet file (", "missing.xsl)"};
        QTest::newRow("style sheet not well-formed")
            << "job.dxm"
            << "not-well-formed.xsl" << MessageKind::Plain
            << QStringList{"Error loading style sheet file (", "Reason: ", "line 4, column"};
        QTest::newRow("style sheet does not compile")
            << "job.dxm"
            << "does-not-compile.xsl" << MessageKind::ApplicationError
            << QStringList{"could not be applied", "does-not-compile.xsl", "count(//Point[)"};
        QTest::newRow("unknown function") << "job.dxm"
                                          << "unknown-function.xsl" << MessageKind::ApplicationError
                                          << QStringList{"could not be applied", "no-such-function"};
        QTest::newRow("terminated by the style sheet")
            << "job.dxm"
            << "terminates.xsl" << MessageKind::ApplicationError
            << QStringList{"could not be applied", "No points with code XYZ in this job"};
        QTest::newRow("not a style sheet") << "job.dxm"
                                           << "job.dxm" << MessageKind::ApplicationError
                                           << QStringList{"could not be applied", "not a stylesheet"};
    }
    void failuresAreReported()
    {
        QFETCH(QString, source);
        QFETCH(QString, styleSheet);
        QFETCH(MessageKind, kind);
        QFETCH(QStringList, textParts);
        QVERIFY(writeFile(data(QStringLiteral("job-as-xml.dxm")), QByteArray("\x01\x02JOB\x00\x10", 7)));
        for (bool batchMode : {true, false}) {
            ScriptedInteraction interaction;
            GenerationInputs in = inputs(source, styleSheet, QStringLiteral("out.csv"));
            QCOMPARE(run(interaction, in, batchMode), GenerationOutcome::Failed);
            QCOMPARE(interaction.messages.size(), 1);
            QCOMPARE(interaction.messages[0].kind, kind);
            for (const QString &part : textParts)
                QVERIFY2(interaction.messages[0].text.contains(part),
                         qPrintable(interaction.messages[0].text));
            QVERIFY(!QFile::exists(data(QStringLiteral("out.csv"))));
            QVERIFY(!interaction.busy);
        }
        QCOMPARE(batchExitCode(GenerationOutcome::Failed), 1);
    }

    void jobFileThatCannotBeConverted_data()
    {
        QTest::addColumn<bool>("batchMode");
        QTest::addColumn<int>("messageCount");
        QTest::newRow("batch: no message") << true << 0;
        QTest::newRow("dialog: message 10005") << false << 1;
    }
    void jobFileThatCannotBeConverted()
    {
        QFETCH(bool, batchMode);
        QFETCH(int, messageCount);
        QVERIFY(writeFile(data(QStringLiteral("field.JOB")), QByteArray("not a job")));
        ScriptedInteraction interaction;
        GenerationInputs in =
            inputs(QStringLiteral("field.JOB"), QStringLiteral("points.xsl"), QStringLiteral("out"));
        QCOMPARE(run(interaction, in, batchMode), GenerationOutcome::EndProgram);
        QCOMPARE(interaction.messages.size(), messageCount);
        if (messageCount)
            QCOMPARE(interaction.messages[0].text,
                     QStringLiteral("The selected job file could not be converted to a Dexmor file"));
        QCOMPARE(batchExitCode(GenerationOutcome::EndProgram), 1);
    }

    void outputThatIsAnInputIsRefused_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("the source") << "job.dxm";
        QTest::newRow("the style sheet") << "points.xsl";
        QTest::newRow("a link to the source") << "out-link.dxm";
    }
    void outputThatIsAnInputIsRefused()
    {
        QFETCH(QString, target);
        QVERIFY(QFile::link(data(QStringLiteral("job.dxm")), data(QStringLiteral("out-link.dxm"))));
        const QByteArray jobBefore = readAll(data(QStringLiteral("job.dxm")));
        const QByteArray styleBefore = readAll(data(QStringLiteral("points.xsl")));
        for (const bool viaDialog : {false, true}) {
            ScriptedInteraction interaction;
            GenerationInputs in = inputs(QStringLiteral("job.dxm"), QStringLiteral("points.xsl"),
                                         viaDialog ? QString() : target);
            interaction.saveAnswers.push_back(Answer::given(data(target)));
            QCOMPARE(run(interaction, in), GenerationOutcome::Failed);
            QCOMPARE(interaction.messages.size(), 1);
            QCOMPARE(interaction.messages[0].kind, MessageKind::Error);
            QVERIFY(interaction.messages[0].text.contains(
                QStringLiteral("is the source file or the style sheet")));
        }
        QCOMPARE(readAll(data(QStringLiteral("job.dxm"))), jobBefore);
        QCOMPARE(readAll(data(QStringLiteral("points.xsl"))), styleBefore);
    }

    // Nor any file the style sheet reads: what it imports or includes, what document() reads.
    void outputThatTheStyleSheetReadsIsRefused_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("imported style sheet") << "out-imported.xsl";
        QTest::newRow("included style sheet") << "out-included.xsl";
        QTest::newRow("document read") << "out-lookup.xml";
    }
    void outputThatTheStyleSheetReadsIsRefused()
    {
        QFETCH(QString, target);
        const QByteArray stylesheet =
            "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">";
        QVERIFY(writeFile(data(QStringLiteral("out-imported.xsl")),
                          stylesheet + "<xsl:output method=\"text\"/></xsl:stylesheet>"));
        QVERIFY(writeFile(data(QStringLiteral("out-included.xsl")),
                          stylesheet + "<xsl:variable name=\"fileExt\" select=\"'csv'\"/></xsl:stylesheet>"));
        QVERIFY(writeFile(data(QStringLiteral("out-lookup.xml")), "<codes/>"));
        QVERIFY(writeFile(
            data(QStringLiteral("out-reading.xsl")),
            stylesheet +
                "<xsl:import href=\"out-imported.xsl\"/><xsl:include href=\"out-included.xsl\"/>"
                "<xsl:template match=\"/\"><xsl:value-of select=\"count(document('out-lookup.xml')/codes)\"/>"
                "</xsl:template></xsl:stylesheet>"));
        const QByteArray before = readAll(data(target));
        for (const bool viaDialog : {false, true}) {
            ScriptedInteraction interaction;
            GenerationInputs in = inputs(QStringLiteral("job.dxm"), QStringLiteral("out-reading.xsl"),
                                         viaDialog ? QString() : target);
            interaction.saveAnswers.push_back(Answer::given(data(target)));
            QCOMPARE(run(interaction, in), GenerationOutcome::Failed);
            QCOMPARE(interaction.messages.size(), 1);
            QCOMPARE(interaction.messages[0].kind, MessageKind::Error);
            QVERIFY2(
                interaction.messages[0].text.contains(QStringLiteral("a file that the style sheet reads")),
                qPrintable(interaction.messages[0].text));
            QVERIFY(interaction.messages[0].text.contains(data(target)));
        }
        QCOMPARE(readAll(data(target)), before);
    }

    // A write that fails says why, in the system's words, and names the output file: writing
    // into a device that is full (which is written to directly, never replaced), and writing the
    // temporary file past the process's file size limit.
    void failedWritesNameTheOutput_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("fileSizeLimit"); // bytes, or 0 for none
        QTest::addColumn<QString>("named");
        QTest::addColumn<QString>("reason");
        QTest::newRow("full device") << "/dev/full" << 0 << "/dev/full" << platform::systemErrorText(ENOSPC);
        QTest::newRow("file size limit")
            << "out" << 16 << data(QStringLiteral("out.csv")) << platform::systemErrorText(EFBIG);
    }
    void failedWritesNameTheOutput()
    {
        QFETCH(QString, output);
        QFETCH(int, fileSizeLimit);
        QFETCH(QString, named);
        QFETCH(QString, reason);
        ScriptedInteraction interaction;
        GenerationInputs in = inputs(QStringLiteral("job.dxm"), QStringLiteral("points.xsl"));
        in.outputFileName = output.startsWith(u'/') ? output : data(output);
        std::optional<filesizelimit::ScopedLimit> limit;
        if (fileSizeLimit) {
            limit.emplace(rlim_t(fileSizeLimit));
            QVERIFY(limit->isSet());
        }
        const GenerationOutcome outcome = run(interaction, in);
        limit.reset();
        QCOMPARE(outcome, GenerationOutcome::Failed);
        QCOMPARE(interaction.messages.size(), 1);
        const QString text = interaction.messages[0].text;
        QVERIFY2(text.contains(named) && text.contains(reason) && !text.contains(QStringLiteral("Indy")),
                 qPrintable(text));
        if (!output.startsWith(u'/'))
            QVERIFY(!QFile::exists(named));
    }

    // A job that needs more memory than a transformation may take is not loaded, and the user
    // is told so, with the setting that sets the limit.
    void jobTooLargeForTheMemoryLimit()
    {
        QByteArray job = "<?xml version=\"1.0\"?>\n<DexmorJob>\n";
        for (int i = 0; i < 20000; ++i)
            job += "  <Point name=\"P" + QByteArray::number(i) +
                   "\" easting=\"1000.5\" northing=\"2000.25\"/>\n";
        QVERIFY(writeFile(data(QStringLiteral("out-large.dxm")), job + "</DexmorJob>\n"));
        ScriptedInteraction interaction;
        GenerationInputs in =
            inputs(QStringLiteral("out-large.dxm"), QStringLiteral("points.xsl"), QStringLiteral("out"));
        in.transformationMemoryLimitMB = 1;
        QCOMPARE(run(interaction, in), GenerationOutcome::Failed);
        QCOMPARE(interaction.messages.size(), 1);
        QCOMPARE(interaction.messages[0].kind, MessageKind::Plain);
        const QString text = interaction.messages[0].text;
        QVERIFY2(text.startsWith(QStringLiteral("Error loading Dexmor file (")) &&
                     text.contains(QStringLiteral("1 MB")) &&
                     text.contains(QStringLiteral("TransformationMemoryLimit")),
                 qPrintable(text));
        QVERIFY(!QFile::exists(data(QStringLiteral("out.csv"))));
    }

    // An extension with a folder part would put the output somewhere else than named; one with
    // a line break, a tab or a direction override makes a name that is split or misread.
    void extensionWithAFolderPartIsRefused_data()
    {
        QTest::addColumn<QString>("extension"); // as the style sheet writes it
        QTest::addColumn<bool>("viaDialog");
        QTest::addColumn<QString>("shown"); // as the message shows it
        QTest::newRow("folder that does not exist") << "csv/report" << false << "csv/report";
        QTest::newRow("folder that exists") << "d/report" << false << "d/report";
        QTest::newRow("up and down") << "/../out-up.csv" << false << "/../out-up.csv";
        QTest::newRow("Save dialog") << "d/report" << true << "d/report";
        QTest::newRow("newline") << "csv&#10;rm" << false << "csv[U+000A]rm";
        QTest::newRow("tab") << "&#9;csv" << false << "[U+0009]csv";
        QTest::newRow("direction override") << "&#8238;vsc.exe" << false << "[U+202E]vsc.exe";
        QTest::newRow("direction override, Save dialog") << "&#8238;vsc.exe" << true << "[U+202E]vsc.exe";
    }
    void extensionWithAFolderPartIsRefused()
    {
        QFETCH(QString, extension);
        QFETCH(bool, viaDialog);
        QFETCH(QString, shown);
        QVERIFY(QDir().mkpath(data(QStringLiteral("out.d"))));
        QByteArray sheet = readAll(data(QStringLiteral("points.xsl")));
        sheet.replace("select=\"'csv'\"", "select=\"'" + extension.toUtf8() + "'\"");
        QVERIFY(writeFile(data(QStringLiteral("out-extension.xsl")), sheet));
        ScriptedInteraction interaction;
        interaction.saveAnswers.push_back(Answer::given(data(QStringLiteral("out-chosen.csv"))));
        GenerationInputs in = inputs(QStringLiteral("job.dxm"), QStringLiteral("out-extension.xsl"),
                                     viaDialog ? QString() : QStringLiteral("out"));
        QCOMPARE(run(interaction, in), GenerationOutcome::Failed);
        QCOMPARE(interaction.messages.size(), 1);
        QVERIFY2(interaction.messages[0].text.contains(
                     QStringLiteral("\"%1\", which is no file extension").arg(shown)),
                 qPrintable(interaction.messages[0].text));
        QVERIFY(interaction.saveRequests.isEmpty());
        QCOMPARE(QDir(data(QStringLiteral("out.d"))).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList());
        QVERIFY(!QFile::exists(data(QStringLiteral("out-up.csv"))));
        QCOMPARE(QDir(m_work).entryList({QStringLiteral("out*")}, QDir::Files),
                 QStringList{"out-extension.xsl"});
    }

    void unwritableOutputIsReported_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing folder") << "out-missing/report.csv"
                                        << "does not exist";
        QTest::newRow("a folder") << "out-folder"
                                  << "It is a folder";
        QTest::newRow("under a file") << "out-file.csv/report.csv"
                                      << "does not exist";
    }
    void unwritableOutputIsReported()
    {
        QFETCH(QString, output);
        QFETCH(QString, reason);
        QVERIFY(QDir().mkpath(data(QStringLiteral("out-folder.csv"))));
        QVERIFY(writeFile(data(QStringLiteral("out-file.csv")), "keep"));
        ScriptedInteraction interaction;
        GenerationInputs in = inputs(QStringLiteral("job.dxm"), QStringLiteral("points.xsl"), output);
        QCOMPARE(run(interaction, in), GenerationOutcome::Failed);
        QCOMPARE(interaction.messages.size(), 1);
        QCOMPARE(interaction.messages[0].kind, MessageKind::Error);
        QVERIFY2(interaction.messages[0].text.contains(reason), qPrintable(interaction.messages[0].text));
        QVERIFY(interaction.messages[0].text.contains(in.outputFileName));
        QCOMPARE(readAll(data(QStringLiteral("out-file.csv"))), QByteArray("keep"));
    }

    void readOnlyOutputKeepsItsContent()
    {
        if (::geteuid() == 0)
            QSKIP("File permissions do not bind the superuser");
        const QString target = data(QStringLiteral("out-readonly.csv"));
        QVERIFY(writeFile(target, "good report"));
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner));
        ScriptedInteraction interaction;
        GenerationInputs in = inputs(QStringLiteral("job.dxm"), QStringLiteral("points.xsl"),
                                     QStringLiteral("out-readonly.csv"));
        QCOMPARE(run(interaction, in), GenerationOutcome::Failed);
        QVERIFY(interaction.messages.value(0).text.contains(QStringLiteral("read-only")));
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner));
        QCOMPARE(readAll(target), QByteArray("good report"));
    }

    void cancelledSaveWritesNothing()
    {
        ScriptedInteraction interaction;
        GenerationInputs in = inputs(QStringLiteral("job.dxm"), QStringLiteral("points.xsl"));
        QCOMPARE(run(interaction, in), GenerationOutcome::Cancelled);
        QCOMPARE(batchExitCode(GenerationOutcome::Cancelled), 0);
        QVERIFY(interaction.messages.isEmpty());
        QCOMPARE(QDir(m_work).entryList({QStringLiteral("out*"), QStringLiteral("job.csv")}), QStringList());
    }

    // What the processor reports without stopping reaches the user in one warning once the file
    // is written: before the dialog says it was created.
    void processorWarningsFollowTheWrittenFile_data()
    {
        QTest::addColumn<bool>("batchMode");
        QTest::addColumn<QString>("outputName");
        QTest::addColumn<QString>("target"); // given in the Save dialog when there is no output name
        QTest::newRow("dialog") << false << QString() << QStringLiteral("out warned.csv");
        QTest::newRow("batch, output named") << true << QStringLiteral("out warned.csv") << QString();
        QTest::newRow("batch, into a device") << true << QStringLiteral("/dev/null") << QString();
    }
    void processorWarningsFollowTheWrittenFile()
    {
        QFETCH(bool, batchMode);
        QFETCH(QString, outputName);
        QFETCH(QString, target);
        QVERIFY(writeFile(data(QStringLiteral("warns.xsl")),
                          "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                          "<xsl:output method='text'/><xsl:variable name='fileExt' select=\"'csv'\"/>"
                          "<xsl:template match='/'>P<xsl:message>Check the point codes</xsl:message>"
                          "</xsl:template></xsl:stylesheet>"));
        WarningWatch interaction;
        GenerationInputs in = inputs(QStringLiteral("job.dxm"), QStringLiteral("warns.xsl"),
                                     outputName.startsWith(u'/') ? QString() : outputName);
        if (outputName.startsWith(u'/'))
            in.outputFileName = outputName;
        const QString written = outputName.startsWith(u'/') ? outputName
                                : target.isEmpty()          ? data(outputName)
                                                            : data(target);
        interaction.output = written;
        if (!target.isEmpty())
            interaction.saveAnswers.push_back(Answer::given(written));
        QCOMPARE(run(interaction, in, batchMode), GenerationOutcome::Written);

        QVERIFY(!interaction.messages.isEmpty());
        const ScriptedInteraction::Message &warning = interaction.messages.first();
        QCOMPARE(warning.kind, MessageKind::Warning);
        QVERIFY2(warning.text.startsWith(
                     QStringLiteral("The style sheet %1 was applied").arg(data(QStringLiteral("warns.xsl")))),
                 qPrintable(warning.text));
        QVERIFY2(warning.text.endsWith(QStringLiteral("\nCheck the point codes")), qPrintable(warning.text));
        if (!outputName.startsWith(u'/'))
            QCOMPARE(interaction.outputAtWarning, QByteArray("P"));
        QCOMPARE(interaction.messages.size(), target.isEmpty() ? 1 : 2);
        if (!target.isEmpty())
            QCOMPARE(interaction.messages[1].kind, MessageKind::Information);
    }

    void manyProcessorWarningsAreCut()
    {
        QVERIFY(writeFile(data(QStringLiteral("chatty.xsl")),
                          "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                          "<xsl:output method='text'/><xsl:template match='/'>"
                          "<xsl:call-template name='report'/>P</xsl:template>"
                          "<xsl:template name='report'><xsl:param name='n' select='1'/>"
                          "<xsl:message>point <xsl:value-of select='$n'/></xsl:message>"
                          "<xsl:if test='$n &lt; 45'><xsl:call-template name='report'>"
                          "<xsl:with-param name='n' select='$n + 1'/></xsl:call-template></xsl:if>"
                          "</xsl:template></xsl:stylesheet>"));
        ScriptedInteraction interaction;
        GenerationInputs in =
            inputs(QStringLiteral("job.dxm"), QStringLiteral("chatty.xsl"), QStringLiteral("out.txt"));
        QCOMPARE(run(interaction, in), GenerationOutcome::Written);
        QCOMPARE(interaction.messages.size(), 1);
        const QStringList lines = interaction.messages[0].text.split(u'\n');
        QCOMPARE(lines.size(), 42);
        QCOMPARE(lines[40], QStringLiteral("point 40"));
        QCOMPARE(lines[41], QStringLiteral("(and 5 more lines)"));
    }

    void missingDexmorFileOnTheCopyRoad()
    {
        ScriptedInteraction interaction;
        GenerationInputs in =
            inputs(QStringLiteral("missing.dxm"), QStringLiteral("Dexmor"), QStringLiteral("out"));
        QCOMPARE(run(interaction, in), GenerationOutcome::Failed);
        QCOMPARE(interaction.messages.size(), 1);
        QVERIFY(interaction.messages[0].text.contains(QStringLiteral("missing.dxm could not be read")));
        QVERIFY(!QFile::exists(data(QStringLiteral("out.dxm"))));
    }
};

QTEST_GUILESS_MAIN(GenerationPipelineTest)
#include "tst_generationpipeline.moc"
