// Job files through the whole generation: the pipeline in both modes and the built program, over a
// machine-wide registry file that registers the real stand-in converters of the build.

#include "app/Format.h"
#include "app/StringTable.h"
#include "convert/ConverterMessages.h"
#include "generate/GenerationPipeline.h"
#include "platform/FileNames.h"
#include "support/ConverterFixture.h"
#include "support/Fifo.h"
#include "support/ScriptedInteraction.h"

#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace zandrel;
using namespace convertertest;

Q_DECLARE_METATYPE(zandrel::GenerationOutcome)

namespace {

const QString program = QStringLiteral(ZANDREL_BINARY_DIR "/zandrel");
const QString testJob = sourceFile(QStringLiteral("tests/data/pipeline/job.dxm"));
const QString sampleJob = sourceFile(QStringLiteral("samples/job.dxm"));
const QString dexmorEntry = QStringLiteral("Dexmor");

struct Product {
    const char *name;
    const char *version;
};
const Product products[] = {{"ostrelle", "1100"}, {"sarnetto", "1250"}, {"bramwick", "1300"}};

struct Run {
    int exitCode = -1;
    QString errors;
};

} // namespace

class JobConversionTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_work;
    QString m_temporary;
    QString m_xdg;
    QString m_geoData;

    QString work(const QString &name) const { return m_work + u'/' + name; }

    // A Job file of the product made from the Dexmor file, with more options for the converter.
    QString jobFrom(const QString &dexmor, const Product &product, const QStringList &options = {})
    {
        const QString job = work(QStringLiteral("%1 job.job").arg(QLatin1String(product.name)));
        const ToolRun run = writeJob(
            dexmor, job, QStringList{"--product", product.name, "--version", product.version} + options);
        return run.exitCode == 0 ? job : QString();
    }

    // A fresh copy of a style sheet: a generation may write the user's answers into it.
    QString styleSheetCopy(const QString &styleSheet, const QString &name)
    {
        if (styleSheet == dexmorEntry)
            return styleSheet;
        const QString copy = work(name + QStringLiteral(".xsl"));
        QFile::remove(copy);
        return QFile::copy(styleSheet, copy) ? copy : QString();
    }

    // The built program in batch mode, as a script runs it: no display, no terminal.
    Run runProgram(const QStringList &arguments, const QByteArray &locale = "C.UTF-8")
    {
        QProcess process;
        startProgram(process, arguments, locale);
        return finishProgram(process);
    }

    void startProgram(QProcess &process, const QStringList &arguments, const QByteArray &locale = "C.UTF-8")
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "ZANDREL_CONVERTER_HOST"})
            environment.remove(QLatin1String(name));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_root.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("LC_ALL"), QString::fromLatin1(locale));
        process.setProcessEnvironment(environment);
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(program, arguments);
    }

    static Run finishProgram(QProcess &process)
    {
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
            process.kill();
            process.waitForFinished();
            return {};
        }
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
    }

    GenerationOutcome runPipeline(ScriptedInteraction &interaction, const QString &source,
                                  const QString &styleSheet, const QString &output, bool batchMode)
    {
        GenerationInputs inputs;
        inputs.sourceFile = source;
        inputs.styleSheetPath = styleSheet;
        inputs.outputFileName = output;
        GenerationPipeline pipeline(interaction);
        return pipeline.run(inputs, batchMode);
    }

    void writeRegistry(bool withConverters)
    {
        MachineRegistry machine;
        if (withConverters)
            machine.builtConverters(builtConverters() + u'/');
        QVERIFY(machine.geoData(m_geoData).write(m_xdg + QStringLiteral("/zandrel/machine.reg")));
    }

    static void addReportRows(bool withSamples)
    {
        const QStringList testSheets{sourceFile(QStringLiteral("tests/data/pipeline/points.xsl")),
                                     dexmorEntry};
        QStringList sampleSheets;
        if (withSamples) {
            const QDir folder(sourceFile(QStringLiteral("samples/stylesheets")));
            for (const QString &name : folder.entryList({QStringLiteral("*.xsl"), QStringLiteral("*.xslt")}))
                sampleSheets.append(folder.filePath(name));
            sampleSheets.append(dexmorEntry);
        }
        for (const Product &product : products) {
            for (const QString &sheet : testSheets)
                QTest::addRow("%s, test job, %s", product.name, qPrintable(QFileInfo(sheet).fileName()))
                    << testJob << sheet << product.name << product.version << false;
            for (const QString &sheet : sampleSheets)
                QTest::addRow("%s, sample job, %s", product.name, qPrintable(QFileInfo(sheet).fileName()))
                    << sampleJob << sheet << product.name << product.version << false;
        }
        if (!withSamples)
            QTest::newRow("sample job") << sampleJob << QString() << ""
                                        << "" << true;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        m_work = m_root.filePath(QStringLiteral("Vermessung v1.2/Straße Süd"));
        m_temporary = m_root.filePath(QStringLiteral("tmp"));
        m_xdg = m_root.filePath(QStringLiteral("xdg"));
        m_geoData = m_root.filePath(QStringLiteral("GeoData"));
        for (const QString &folder : {m_work, m_temporary, m_geoData})
            QVERIFY(QDir().mkpath(folder));
        // The program's registry, temporary folder and converter host; the pipeline reads them
        // from the environment as the program does.
        qputenv("TMPDIR", QFile::encodeName(m_temporary));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(m_xdg));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_root.filePath(QStringLiteral("config"))));
        qputenv("ZANDREL_CONVERTER_HOST", QFile::encodeName(hostProgram()));
        QVERIFY(QFile::exists(program));
    }

    void init() { writeRegistry(true); }

    void cleanup()
    {
        // No converted file, private folder or temporary output outlives a generation.
        QCOMPARE(QDir(m_temporary).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
        QVERIFY(QDir(m_work).removeRecursively());
        QVERIFY(QDir().mkpath(m_work));
    }

    void sameReportsInBatchMode_data()
    {
        QTest::addColumn<QString>("dexmor");
        QTest::addColumn<QString>("styleSheet");
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("skip");
        addReportRows(QFile::exists(sampleJob));
    }
    void sameReportsInBatchMode()
    {
        QFETCH(QString, dexmor);
        QFETCH(QString, styleSheet);
        QFETCH(QString, product);
        QFETCH(QString, version);
        QFETCH(bool, skip);
        if (skip)
            QSKIP("samples/job.dxm is not there");
        const QString job = jobFrom(dexmor, {qPrintable(product), qPrintable(version)});
        QVERIFY(!job.isEmpty());

        const Run fromDexmor = runProgram({dexmor, styleSheetCopy(styleSheet, "a"), work("from dexmor")});
        QCOMPARE(fromDexmor.exitCode, 0);
        const Run fromJob = runProgram({job, styleSheetCopy(styleSheet, "b"), work("from job")});
        QCOMPARE(fromJob.exitCode, 0);
        QCOMPARE(fromJob.errors, fromDexmor.errors);

        const QStringList dexmorOutputs = QDir(m_work).entryList({QStringLiteral("from dexmor.*")});
        const QStringList jobOutputs = QDir(m_work).entryList({QStringLiteral("from job.*")});
        QCOMPARE(dexmorOutputs.size(), 1);
        QCOMPARE(jobOutputs.size(), 1);
        QCOMPARE(QFileInfo(jobOutputs[0]).suffix(), QFileInfo(dexmorOutputs[0]).suffix());
        const QByteArray expected = readAll(work(dexmorOutputs[0]));
        QVERIFY(!expected.isEmpty());
        QCOMPARE(readAll(work(jobOutputs[0])), expected);
    }

    void sameReportsInDialogMode_data()
    {
        QTest::addColumn<QString>("dexmor");
        QTest::addColumn<QString>("styleSheet");
        QTest::addColumn<bool>("skip");
        for (const QString &sheet :
             {sourceFile(QStringLiteral("tests/data/pipeline/points.xsl")), dexmorEntry})
            QTest::addRow("test job, %s", qPrintable(QFileInfo(sheet).fileName()))
                << testJob << sheet << false;
        QTest::newRow("sample job, Dexmor") << sampleJob << dexmorEntry << !QFile::exists(sampleJob);
    }
    void sameReportsInDialogMode()
    {
        QFETCH(QString, dexmor);
        QFETCH(QString, styleSheet);
        QFETCH(bool, skip);
        if (skip)
            QSKIP("samples/job.dxm is not there");
        ScriptedInteraction interaction;
        QCOMPARE(runPipeline(interaction, dexmor, styleSheet, work("from dexmor.out"), false),
                 GenerationOutcome::Written);
        const QByteArray expected = readAll(work("from dexmor.out"));
        QVERIFY(!expected.isEmpty());
        for (const Product &product : products) {
            const QString job = jobFrom(dexmor, product);
            QVERIFY(!job.isEmpty());
            const QString output = work(QStringLiteral("%1.out").arg(QLatin1String(product.name)));
            QCOMPARE(runPipeline(interaction, job, styleSheet, output, false), GenerationOutcome::Written);
            QCOMPARE(readAll(output), expected);
        }
        QVERIFY(interaction.messages.isEmpty());
        QVERIFY(!interaction.busy);
    }

    void failedConversionEndsTheProgram_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("batchMode");
        QTest::addColumn<QStringList>("messages"); // beginnings of the texts shown, in order
        const QString notConverted = GetLocalizedString(StringId::JobNotConverted);
        const QString raised = QStringLiteral("Zeile 3 unlesbar encountered during job file conversion");
        const QString faulted = QStringLiteral("The converter library ") + builtConverters();
        QTest::newRow("refused, dialog")
            << QStringList{"--inspect", "refuse"} << false << QStringList{notConverted};
        QTest::newRow("refused, batch") << QStringList{"--inspect", "refuse"} << true << QStringList();
        QTest::newRow("error raised, dialog") << QStringList{"--translate", "raise:Zeile 3 unlesbar"} << false
                                              << QStringList{raised, notConverted};
        QTest::newRow("error raised, batch")
            << QStringList{"--translate", "raise:Zeile 3 unlesbar"} << true << QStringList{raised};
        QTest::newRow("fault, dialog")
            << QStringList{"--translate", "crash"} << false << QStringList{faulted, notConverted};
        QTest::newRow("fault, batch") << QStringList{"--translate", "crash"} << true << QStringList{faulted};
        QTest::newRow("success without a file, dialog")
            << QStringList{"--translate", "claim"} << false << QStringList{notConverted};
    }
    void failedConversionEndsTheProgram()
    {
        QFETCH(QStringList, options);
        QFETCH(bool, batchMode);
        QFETCH(QStringList, messages);
        const QString job = jobFrom(testJob, products[2], options);
        QVERIFY(!job.isEmpty());
        ScriptedInteraction interaction;
        QCOMPARE(runPipeline(interaction, job, dexmorEntry, work("out"), batchMode),
                 GenerationOutcome::EndProgram);
        QCOMPARE(interaction.messages.size(), messages.size());
        for (qsizetype i = 0; i < messages.size(); ++i) {
            QCOMPARE(interaction.messages[i].kind, MessageKind::Error);
            QVERIFY2(interaction.messages[i].text.startsWith(messages[i]),
                     qPrintable(interaction.messages[i].text));
        }
        QVERIFY(!QFile::exists(work("out.dxm")));
        QVERIFY(!interaction.busy);
    }

    // Not caught by the conversion: reported by the general handler, and the dialog stays.
    void inspectionErrorsGoToTheGeneralHandler_data()
    {
        QTest::addColumn<QString>("inspect");
        QTest::addColumn<bool>("batchMode");
        QTest::newRow("error raised, dialog") << "raise:Prüfsumme falsch" << false;
        QTest::newRow("error raised, batch") << "raise:Prüfsumme falsch" << true;
        QTest::newRow("C++ exception, dialog") << "throw:Prüfsumme falsch" << false;
    }
    void inspectionErrorsGoToTheGeneralHandler()
    {
        QFETCH(QString, inspect);
        QFETCH(bool, batchMode);
        const QString job = jobFrom(testJob, products[2], {"--inspect", inspect});
        QVERIFY(!job.isEmpty());
        ScriptedInteraction interaction;
        QCOMPARE(runPipeline(interaction, job, dexmorEntry, work("out"), batchMode),
                 GenerationOutcome::Failed);
        QCOMPARE(interaction.messages.size(), 1);
        QCOMPARE(interaction.messages[0].kind, MessageKind::ApplicationError);
        QCOMPARE(interaction.messages[0].text, QStringLiteral("Prüfsumme falsch"));
        QVERIFY(!interaction.busy);
    }

    // The generation ends with the reason; the program goes on.
    void temporaryFolderThatCannotBeMade_data()
    {
        QTest::addColumn<QString>("temporaryFolder");
        QTest::addColumn<QString>("reason");
        QTest::newRow("TMPDIR is a file") << "a file"
                                          << "Not a directory";
        QTest::newRow("TMPDIR does not exist") << "no such folder"
                                               << "No such file or directory";
    }
    void temporaryFolderThatCannotBeMade()
    {
        QFETCH(QString, temporaryFolder);
        QFETCH(QString, reason);
        const QString job = jobFrom(testJob, products[2]);
        QVERIFY(!job.isEmpty());
        QVERIFY(writeFile(work("a file"), "not a folder"));
        qputenv("TMPDIR", QFile::encodeName(work(temporaryFolder)));
        ScriptedInteraction interaction;
        const GenerationOutcome outcome = runPipeline(interaction, job, dexmorEntry, work("out"), true);
        qputenv("TMPDIR", QFile::encodeName(m_temporary));
        QCOMPARE(outcome, GenerationOutcome::Failed);
        QCOMPARE(interaction.messages.size(), 1);
        QCOMPARE(interaction.messages[0].kind, MessageKind::Error);
        QCOMPARE(interaction.messages[0].text,
                 formatText(GetLocalizedString(StringId::ConversionFolderFailed),
                            {work(temporaryFolder), reason}));
        QVERIFY(!QFile::exists(work("out.dxm")));
    }

    void gridFileWarnings_data()
    {
        QTest::addColumn<bool>("batchMode");
        QTest::addColumn<int>("warnings");
        QTest::newRow("dialog: one box per line") << false << 2;
        QTest::newRow("batch: none") << true << 0;
    }
    void gridFileWarnings()
    {
        QFETCH(bool, batchMode);
        QFETCH(int, warnings);
        const QString job =
            jobFrom(testJob, products[1], {"--grid-file", "GCG2016.gri", "--grid-file", "BeTA2007.gsb"});
        QVERIFY(!job.isEmpty());
        ScriptedInteraction interaction;
        // The generation goes on after the warnings.
        QCOMPARE(runPipeline(interaction, job, sourceFile(QStringLiteral("tests/data/pipeline/points.xsl")),
                             work("out.csv"), batchMode),
                 GenerationOutcome::Written);
        QVERIFY(QFile::exists(work("out.csv")));
        QCOMPARE(interaction.messages.size(), warnings);
        for (const ScriptedInteraction::Message &message : interaction.messages) {
            QCOMPARE(message.kind, MessageKind::Warning);
            QVERIFY(message.text.startsWith(
                formatText(GetLocalizedString(StringId::GridFileMissing), {m_geoData})));
        }
    }

    void programExitCodes_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("product");
        QTest::addColumn<bool>("registered");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("errors"); // a text the error output must hold; empty: no output
        QTest::newRow("converted") << QStringList() << 0 << true << 0 << QString();
        QTest::newRow("Ostrelle below 1100: silent")
            << QStringList{"--version", "1099"} << 0 << true << 1 << QString();
        QTest::newRow("no converters registered") << QStringList() << 2 << false << 1 << QString();
        QTest::newRow("fault survived") << QStringList{"--translate", "crash"} << 2 << true << 1
                                        << "encountered during job file conversion";
        QTest::newRow("fault while inspecting: the general handler")
            << QStringList{"--inspect", "crash"} << 2 << true << 1 << "Zandrel: The converter library";
    }
    void programExitCodes()
    {
        QFETCH(QStringList, options);
        QFETCH(int, product);
        QFETCH(bool, registered);
        QFETCH(int, exitCode);
        QFETCH(QString, errors);
        writeRegistry(registered);
        const QString job = jobFrom(testJob, products[product], options);
        QVERIFY(!job.isEmpty());
        const Run run = runProgram({job, dexmorEntry, work("out")});
        QCOMPARE(run.exitCode, exitCode);
        if (errors.isEmpty())
            QCOMPARE(run.errors, QString());
        else
            QVERIFY2(run.errors.contains(errors), qPrintable(run.errors));
        QCOMPARE(QFile::exists(work("out.dxm")), exitCode == 0);
        if (exitCode == 0)
            QCOMPARE(readAll(work("out.dxm")), readAll(testJob));
    }

    // A Job file that is a FIFO is read once (the converters get a copy of it); one whose name
    // is no valid UTF-8 is found by its bytes.
    void jobFilesThatAreOdd_data()
    {
        QTest::addColumn<bool>("fifo");
        QTest::newRow("FIFO") << true;
        QTest::newRow("name that is no UTF-8") << false;
    }
    void jobFilesThatAreOdd()
    {
        QFETCH(bool, fifo);
        const QString job = jobFrom(testJob, products[2]);
        QVERIFY(!job.isEmpty());
        if (fifo) {
            const QByteArray piped = QFile::encodeName(work(QStringLiteral("piped.job")));
            QCOMPARE(::mkfifo(piped.constData(), 0600), 0);
            QProcess process;
            startProgram(process, {QFile::decodeName(piped), dexmorEntry, work("out")});
            QVERIFY(feedFifo(piped, readAll(job), process));
            const Run run = finishProgram(process);
            QCOMPARE(run.exitCode, 0);
            QCOMPARE(run.errors, QString());
        } else {
            const QByteArray named = QFile::encodeName(work(QStringLiteral("field "))) + "\xff\xfe.job";
            QCOMPARE(::rename(QFile::encodeName(job).constData(), named.constData()), 0);
            // Qt cannot remove it with the folder: its name would not make the round trip.
            const auto removeNamed = qScopeGuard([&named] { ::unlink(named.constData()); });
            ScriptedInteraction interaction;
            QCOMPARE(
                runPipeline(interaction, platform::fileNameFromNative(named), dexmorEntry, work("out"), true),
                GenerationOutcome::Written);
            QVERIFY(interaction.messages.isEmpty());
        }
        QCOMPARE(readAll(work("out.dxm")), readAll(testJob));
    }

    void userDecimalSeparator_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<QString>("inspectedBy");
        QTest::newRow("point: the Versions entry") << QByteArray("C.UTF-8") << "inspect mirk-registered.so";
        QTest::newRow("comma: 13.00 is no number, the folder scan")
            << QByteArray("de_DE.UTF-8") << "inspect mirk1300.so";
    }
    void userDecimalSeparator()
    {
        QFETCH(QByteArray, locale);
        QFETCH(QString, inspectedBy);
        const QString converters = m_root.filePath(QStringLiteral("Konverter"));
        QVERIFY(installConverter(QStringLiteral("mirk1300.so"), converters, QStringLiteral("mirk1300.so")));
        QVERIFY(installConverter(QStringLiteral("mirk1300.so"), converters,
                                 QStringLiteral("mirk-registered.so")));
        QVERIFY(MachineRegistry()
                    .converter(QStringLiteral("Bramwick"), converters, {"13.00=mirk-registered.so"})
                    .write(m_xdg + QStringLiteral("/zandrel/machine.reg")));
        const QString log = work(QStringLiteral("calls.log"));
        qputenv("ZJOB_CALL_LOG", QFile::encodeName(log));
        const QString job = jobFrom(testJob, products[2]);
        const Run run = runProgram({job, dexmorEntry, work("out")}, locale);
        qunsetenv("ZJOB_CALL_LOG");
        // The conversion itself takes the library registered for "13.00", found by its text.
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(loggedCalls(log),
                 (QStringList{inspectedBy, QStringLiteral("translate mirk-registered.so")}));
    }
};

QTEST_GUILESS_MAIN(JobConversionTest)
#include "tst_jobconversion.moc"
