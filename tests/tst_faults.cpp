// Faults from outside: a full disk while the output, the style sheet or the settings are written,
// and the program killed while it writes. None of them may cost a good file.
#include "generate/GenerationPipeline.h"
#include "settings/RegistryStore.h"
#include "support/ScriptedInteraction.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/mount.h>
#include <unistd.h>

using namespace zandrel;

namespace {

// Fills the filesystem of a folder until not one more byte fits.
void fillUp(const QString &folder)
{
    QFile filler(folder + QStringLiteral("/filler"));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return;
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size()) {
    }
    while (filler.write("f", 1) == 1) {
    }
}

// A job whose report is far larger than the small filesystem.
QByteArray largeJob()
{
    QByteArray job = "<?xml version=\"1.0\"?>\n<DexmorJob>\n";
    for (int i = 0; i < 20000; ++i)
        job += "  <Point name=\"P" + QByteArray::number(i) + "\" easting=\"1000." +
               QByteArray::number(i % 997) + "\" northing=\"2000.5\"/>\n";
    return job + "</DexmorJob>\n";
}

} // namespace

class FaultsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_small; // a filesystem of 256 KiB, when this process may mount one
    QByteArray m_savedTmpdir;

    QString data(const QString &name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(writeFile(data(QStringLiteral("job.dxm")), largeJob()));
        QVERIFY(QFile::copy(QStringLiteral(ZANDREL_SOURCE_DIR "/tests/data/pipeline/points.xsl"),
                            data(QStringLiteral("points.xsl"))));
        const QString small = data(QStringLiteral("small"));
        QVERIFY(QDir().mkpath(small));
        if (::mount("tmpfs", QFile::encodeName(small).constData(), "tmpfs", 0, "size=256k") == 0)
            m_small = small;
        // Temporary files go to the roomy folder; the outputs to the small one.
        QVERIFY(QDir().mkpath(data(QStringLiteral("tmp"))));
        m_savedTmpdir = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(data(QStringLiteral("tmp"))));
    }

    void cleanupTestCase()
    {
        qputenv("TMPDIR", m_savedTmpdir);
        if (!m_small.isEmpty())
            ::umount(QFile::encodeName(m_small).constData());
    }

    void init()
    {
        if (m_small.isEmpty())
            QSKIP("a small filesystem cannot be mounted here (needs the right to mount)");
        for (const QString &name : QDir(m_small).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(m_small + u'/' + name);
    }

    void fullDiskKeepsTheOldOutput()
    {
        const QString target = m_small + QStringLiteral("/report.csv");
        QVERIFY(writeFile(target, "the good report of yesterday\n"));
        ScriptedInteraction interaction;
        GenerationPipeline pipeline(interaction);
        GenerationInputs inputs;
        inputs.sourceFile = data(QStringLiteral("job.dxm"));
        inputs.styleSheetPath = data(QStringLiteral("points.xsl"));
        inputs.outputFileName = target;
        QCOMPARE(pipeline.run(inputs, true), GenerationOutcome::Failed);
        QCOMPARE(interaction.messages.size(), 1);
        QVERIFY2(interaction.messages[0].text.contains(QStringLiteral("could not be written")),
                 qPrintable(interaction.messages[0].text));
        QVERIFY(interaction.messages[0].text.contains(target));
        QCOMPARE(readAll(target), QByteArray("the good report of yesterday\n"));
        // Nothing half-written is left beside it, and no temporary file anywhere.
        QCOMPARE(QDir(m_small).entryList(QDir::Files | QDir::Hidden), QStringList{"report.csv"});
        QCOMPARE(QDir(data(QStringLiteral("tmp"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList());
    }

    void fullDiskKeepsTheStyleSheet()
    {
        const QString sheet = m_small + QStringLiteral("/answers.xsl");
        const QByteArray content =
            "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\n"
            "<xsl:output method=\"text\"/>\n"
            "<xsl:variable name=\"userField1\" select=\"'title|Title|STRING'\"/>\n"
            "<xsl:variable name=\"title\" select=\"'old'\"/>\n"
            "<xsl:template match=\"/\"><xsl:value-of select=\"$title\"/></xsl:template>\n"
            "</xsl:stylesheet>\n";
        QVERIFY(writeFile(sheet, content));
        fillUp(m_small);
        ScriptedInteraction interaction;
        interaction.valueAnswers = {Answer::given(QStringLiteral("new title"))};
        GenerationPipeline pipeline(interaction);
        GenerationInputs inputs;
        inputs.sourceFile = QStringLiteral(ZANDREL_SOURCE_DIR "/tests/data/pipeline/job.dxm");
        inputs.styleSheetPath = sheet;
        inputs.outputFileName = data(QStringLiteral("answer.txt"));
        // The answer still applies to this generation; the user hears why it is not kept.
        QCOMPARE(pipeline.run(inputs, true), GenerationOutcome::Written);
        QCOMPARE(readAll(data(QStringLiteral("answer.txt"))), QByteArray("new title"));
        QCOMPARE(interaction.messages.size(), 1);
        QCOMPARE(interaction.messages[0].kind, MessageKind::Warning);
        QVERIFY(interaction.messages[0].text.contains(QStringLiteral("could not be saved")));
        QCOMPARE(readAll(sheet), content);
    }

    void fullDiskKeepsTheSettings()
    {
        const QString file = m_small + QStringLiteral("/user.reg");
        settings::RegFileStore store(file, m_small + QStringLiteral("/machine.reg"));
        QVERIFY(store.writeValues(
            settings::RegistryHive::CurrentUser, QStringLiteral("Software\\Veltrix\\Zandrel"),
            {settings::RegistryValue::string(QStringLiteral("JobOrDexmorFile"), QStringLiteral("a.dxm"))}));
        const QByteArray before = readAll(file);
        fillUp(m_small);
        QString error;
        QVERIFY(!store.writeValues(
            settings::RegistryHive::CurrentUser, QStringLiteral("Software\\Veltrix\\Zandrel"),
            {settings::RegistryValue::string(QStringLiteral("Big"), QString(8000, u'x'))}, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(readAll(file), before);
    }
};

// Killing the program while it writes never leaves a half file where a good one was.
class KilledWhileWritingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void killedAtAnyMoment_data()
    {
        QTest::addColumn<int>("delayMs");
        for (int delay : {0, 30, 80, 150, 250, 400})
            QTest::newRow(qPrintable(QStringLiteral("%1 ms").arg(delay))) << delay;
    }
    void killedAtAnyMoment()
    {
        QFETCH(int, delayMs);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(QStringLiteral("job.dxm")), largeJob()));
        const QString target = dir.filePath(QStringLiteral("report.csv"));
        QVERIFY(writeFile(target, "good"));
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1String(name));
        environment.insert(QStringLiteral("TMPDIR"), dir.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        program.setProcessEnvironment(environment);
        program.setStandardInputFile(QProcess::nullDevice());
        program.start(QStringLiteral(ZANDREL_BINARY_DIR "/zandrel"),
                      {dir.filePath(QStringLiteral("job.dxm")),
                       QStringLiteral(ZANDREL_SOURCE_DIR "/tests/data/pipeline/points.xsl"), target});
        QVERIFY(program.waitForStarted());
        QTest::qWait(delayMs);
        // Only a running program is killed: a finished one has no process id left.
        if (program.state() == QProcess::Running && program.processId() > 0)
            ::kill(pid_t(program.processId()), SIGKILL);
        if (program.state() != QProcess::NotRunning)
            QVERIFY(program.waitForFinished(60000));
        const QByteArray content = readAll(target);
        // Either the old file or the whole new one, never something between.
        QVERIFY2(content == "good" || (content.startsWith("P0,1000.0,2000.5\n") &&
                                       content.endsWith("P19999,1000.59,2000.5\n")),
                 content.left(40).constData());
        // Nothing else either: no temporary file (the temporary folder is this one too) and no
        // new output under a name of its own beside the old one.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"job.dxm", "report.csv"}));
    }
};

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    int status = 0;
    {
        FaultsTest faults;
        status |= QTest::qExec(&faults, argc, argv);
    }
    {
        KilledWhileWritingTest killed;
        status |= QTest::qExec(&killed, argc, argv);
    }
    return status;
}
#include "tst_faults.moc"
