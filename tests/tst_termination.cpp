// The built program ended by a signal in each phase of a generation, and a converter that leaves a
// process behind: nothing may stay in the temporary folder, no helper may run on, and a signal
// ends the program as it would have ended it without a handler (the conventional status).

#include "platform/TemporaryFiles.h"
#include "support/ConverterFixture.h"
#include "support/ProcessWatch.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <optional>

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
        // Killed outright, the program leaves its folder to the helper's caretaker, which removes it
        // a moment later.
        QTRY_VERIFY2_WITH_TIMEOUT(temporaryFiles().isEmpty(), qPrintable(temporaryFiles().join(u' ')), 20000);
    }

    // A helper that someone stopped: killed with the program when the program is killed, its
    // folder removed; otherwise ended after a while, the conversion failing with a message,
    // rather than holding the program for ever.
    void stoppedHelper_data()
    {
        QTest::addColumn<bool>("killProgram");
        QTest::newRow("program killed") << true;
        QTest::newRow("program waiting") << false;
    }
    void stoppedHelper()
    {
        QFETCH(bool, killProgram);
        const QString fifo = path(QStringLiteral("gate"));
        QVERIFY(makeFifo(fifo));
        const QString file = job(QStringLiteral("hang:") + fifo);
        QVERIFY(!file.isEmpty());
        QProcess zandrel;
        start(zandrel, {file, QStringLiteral("Dexmor"), path(QStringLiteral("out"))});
        QVERIFY(zandrel.waitForStarted());
        FifoWriter gate;
        QVERIFY2(gate.openWhenReaderArrives(fifo, [&] { return zandrel.state() == QProcess::Running; }),
                 zandrel.readAllStandardError().constData());
        const QList<pid_t> children = childrenOf(pid_t(zandrel.processId()));
        QCOMPARE(children.size(), 1);
        ProcessWatch helper(children.first());
        QVERIFY(helper.isValid());
        QCOMPARE(::kill(children.first(), SIGSTOP), 0);

        if (killProgram) {
            QCOMPARE(::kill(pid_t(zandrel.processId()), SIGKILL), 0);
            QVERIFY(zandrel.waitForFinished(20000));
            QVERIFY2(helper.waitForEnd(20000), "the stopped helper runs on");
        } else {
            QVERIFY2(zandrel.waitForFinished(30000), "the program waits for its stopped helper");
            QCOMPARE(zandrel.exitStatus(), QProcess::NormalExit);
            QCOMPARE(zandrel.exitCode(), 1);
            const QByteArray errors = zandrel.readAllStandardError();
            QVERIFY2(errors.contains("stopped unexpectedly"), errors.constData());
            QVERIFY(helper.waitForEnd(1000));
        }
        QTRY_VERIFY2_WITH_TIMEOUT(temporaryFiles().isEmpty(), qPrintable(temporaryFiles().join(u' ')), 20000);
    }

    // A private folder that a program killed outright left behind goes with the next one made
    // beside it; those of running programs, and folders of other shapes, stay.
    void abandonedFoldersAreRemoved()
    {
        QProcess ended;
        ended.start(QStringLiteral("true"));
        QVERIFY(ended.waitForStarted(10000));
        const QString gone = QString::number(ended.processId());
        QVERIFY(ended.waitForFinished(10000));
        const QString running = QString::number(::getpid());
        const QString tmp = path(QStringLiteral("tmp"));
        const QStringList left = {QStringLiteral("Indy") + gone + QStringLiteral("-a1B2c3"),
                                  QStringLiteral("Indy") + running + QStringLiteral("-d4E5f6"),
                                  QStringLiteral("Indyg7H8i9"),
                                  QStringLiteral("Other") + gone + QStringLiteral("-j0K1l2")};
        for (const QString &name : left) {
            QVERIFY(QDir().mkpath(tmp + u'/' + name + QStringLiteral("/geodata")));
            QVERIFY(writeFile(tmp + u'/' + name + QStringLiteral("/half.dxm"), "<DexmorJob>"));
        }
        QString error;
        std::optional<zandrel::platform::PrivateTemporaryFolder> made =
            zandrel::platform::PrivateTemporaryFolder::create(tmp, QStringLiteral("Indy"), &error);
        QVERIFY2(made, qPrintable(error));
        QStringList expected = left.mid(1);
        expected.append(QFileInfo(made->path()).fileName());
        expected.sort();
        QStringList found = temporaryFiles();
        found.sort();
        QCOMPARE(found, expected);
        made.reset();
        for (const QString &name : temporaryFiles())
            QVERIFY(QDir(tmp + u'/' + name).removeRecursively());
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
