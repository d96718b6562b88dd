// The built program ended by a signal in each phase of a generation, and a converter that leaves a
// process behind: nothing may stay in the temporary folder, no helper may run on, and a signal
// ends the program as it would have ended it without a handler (the conventional status).

#include "support/ConverterFixture.h"
#include "support/ProcessWatch.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

using namespace convertertest;
using namespace processwatch;

namespace {

const QString program = QStringLiteral(ZANDREL_BINARY_DIR "/zandrel");
const QString testJob = sourceFile(QStringLiteral("tests/data/pipeline/job.dxm"));
const QString pointsStyleSheet = sourceFile(QStringLiteral("tests/data/pipeline/points.xsl"));

// The place where each phase waits: loading, copying and transforming read the FIFO, converting
// runs a converter that opens it and never returns.
enum class Phase { Loading, Copying, Converting, Transforming };

} // namespace

Q_DECLARE_METATYPE(Phase)

class TerminationTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_root;

    QString path(const QString &name) const { return m_root->filePath(name); }
    QStringList temporaryFiles() const
    {
        return QDir(path(QStringLiteral("tmp")))
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    void start(QProcess &process, const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "ZANDREL_CONVERTER_HOST"})
            environment.remove(QLatin1String(name));
        environment.insert(QStringLiteral("TMPDIR"), path(QStringLiteral("tmp")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_CONFIG_DIRS"), path(QStringLiteral("xdg")));
        process.setProcessEnvironment(environment);
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(program, arguments);
    }

    // A Bramwick Job file whose conversion behaves as the option says.
    QString job(const QString &translate)
    {
        const QString file = path(QStringLiteral("site.job"));
        const ToolRun run =
            writeJob(testJob, file, {"--product", "bramwick", "--version", "1300", "--translate", translate});
        return run.exitCode == 0 ? file : QString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        // A test run started in the background may have these ignored, and the program keeps a
        // signal that it was started with ignored.
        for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP})
            std::signal(signalNumber, SIG_DFL);
        QVERIFY(QFile::exists(program));
    }

    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_root->isValid());
        QVERIFY(QDir().mkpath(path(QStringLiteral("tmp"))));
        QVERIFY(MachineRegistry()
                    .builtConverters(builtConverters() + u'/')
                    .write(path(QStringLiteral("xdg/zandrel/machine.reg"))));
    }

    void signalInEveryPhase_data()
    {
        QTest::addColumn<Phase>("phase");
        QTest::addColumn<int>("signalNumber");
        const std::pair<const char *, Phase> phases[] = {{"loading", Phase::Loading},
                                                         {"copying", Phase::Copying},
                                                         {"converting", Phase::Converting},
                                                         {"transforming", Phase::Transforming}};
        const std::pair<const char *, int> signalNumbers[] = {
            {"SIGINT", SIGINT}, {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}, {"SIGKILL", SIGKILL}};
        for (const auto &[phaseName, phase] : phases)
            for (const auto &[signalName, signalNumber] : signalNumbers)
                QTest::addRow("%s, %s", phaseName, signalName) << phase << signalNumber;
    }
    void signalInEveryPhase()
    {
        QFETCH(Phase, phase);
        QFETCH(int, signalNumber);
        const QString fifo = path(QStringLiteral("gate"));
        QVERIFY(makeFifo(fifo));
        QStringList arguments;
        switch (phase) {
        case Phase::Loading:
            arguments = {fifo, pointsStyleSheet, path(QStringLiteral("out.csv"))};
            break;
        case Phase::Copying:
            arguments = {fifo, QStringLiteral("Dexmor"), path(QStringLiteral("out"))};
            break;
        case Phase::Converting:
            arguments = {job(QStringLiteral("hang:") + fifo), QStringLiteral("Dexmor"),
                         path(QStringLiteral("out"))};
            break;
        case Phase::Transforming: {
            const QString styleSheet = path(QStringLiteral("reads the gate.xsl"));
            QVERIFY(writeFile(
                styleSheet,
                "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\n"
                "<xsl:template match=\"/\"><xsl:copy-of select=\"document('" +
                    QFile::encodeName(fifo) + "')\"/></xsl:template>\n</xsl:stylesheet>\n"));
            arguments = {testJob, styleSheet, path(QStringLiteral("out.xml"))};
            break;
        }
        }
        QVERIFY(!arguments.first().isEmpty());

        QProcess zandrel;
        start(zandrel, arguments);
        QVERIFY(zandrel.waitForStarted());
        FifoWriter gate;
        QVERIFY2(gate.openWhenReaderArrives(fifo, [&] { return zandrel.state() == QProcess::Running; }),
                 zandrel.readAllStandardError().constData());
        std::unique_ptr<ProcessWatch> helper;
        if (phase == Phase::Converting) {
            const QList<pid_t> children = childrenOf(pid_t(zandrel.processId()));
            QCOMPARE(children.size(), 1);
            helper = std::make_unique<ProcessWatch>(children.first());
            QVERIFY(helper->isValid());
        }

        QCOMPARE(::kill(pid_t(zandrel.processId()), signalNumber), 0);
        QVERIFY(zandrel.waitForFinished(60000));
        QCOMPARE(zandrel.exitStatus(), QProcess::CrashExit);
        QCOMPARE(zandrel.exitCode(), signalNumber);
        if (helper)
            QVERIFY2(helper->waitForEnd(30000), "the converter's helper runs on");
        QCOMPARE(temporaryFiles(), QStringList());
    }

    // A converter that leaves a process behind, holding what the converter's process held.
    void convertersBackgroundProcessDoesNotHoldTheProgram()
    {
        const QString fifo = path(QStringLiteral("release"));
        QVERIFY(makeFifo(fifo));
        const QString file = job(QStringLiteral("background:") + fifo);
        QVERIFY(!file.isEmpty());
        QProcess zandrel;
        start(zandrel, {file, QStringLiteral("Dexmor"), path(QStringLiteral("out"))});
        // Lets the background process end however this test ends.
        struct Release {
            QString fifo;
            ~Release() { FifoWriter().openWhenReaderArrives(fifo); }
        } release{fifo};
        QVERIFY2(zandrel.waitForFinished(20000), "the program waits for the background process");
        QCOMPARE(zandrel.exitStatus(), QProcess::NormalExit);
        QCOMPARE(zandrel.exitCode(), 0);
        QCOMPARE(readAll(path(QStringLiteral("out.dxm"))), readAll(testJob));
        QCOMPARE(temporaryFiles(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TerminationTest)
#include "tst_termination.moc"
