// Faults from outside: a disk that takes no more while the output, the style sheet or the settings
// are written, and the program killed while it writes. None of them may cost a good file. The
// file size limit stands in for the full disk: it needs no rights, and a write past it fails
// part way through a file as a full disk's does.
#include "generate/GenerationPipeline.h"
#include "platform/FileOperations.h"
#include "platform/SystemError.h"
#include "settings/RegistryStore.h"
#include "support/FileSizeLimit.h"
#include "support/ScriptedInteraction.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace zandrel;

namespace {

const QString program = QStringLiteral(ZANDREL_BINARY_DIR "/zandrel");
const QByteArray oldReport = "the good report of yesterday\n";

// A job whose report (about 500 KB) is far larger than the limits below.
QByteArray largeJob()
{
    QByteArray job = "<?xml version=\"1.0\"?>\n<DexmorJob>\n";
    for (int i = 0; i < 20000; ++i)
        job += "  <Point name=\"P" + QByteArray::number(i) + "\" easting=\"1000." +
               QByteArray::number(i % 997) + "\" northing=\"2000.5\"/>\n";
    return job + "</DexmorJob>\n";
}

// Starts the program in batch mode as a script does: no display, no terminal; its temporary
// files and settings in the folder.
void startProgram(QProcess &process, const QString &folder, const QStringList &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("TMPDIR"), folder + QStringLiteral("/tmp"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder + QStringLiteral("/config"));
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

} // namespace

class FaultsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_work; // emptied before each test: the files written over, and nothing else
    std::optional<QByteArray> m_savedTmpdir;

    QString data(const QString &name) const { return m_dir.filePath(name); }
    QString work(const QString &name) const { return m_work + u'/' + name; }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(writeFile(data(QStringLiteral("job.dxm")), largeJob()));
        QVERIFY(QFile::copy(QStringLiteral(ZANDREL_SOURCE_DIR "/tests/data/pipeline/points.xsl"),
                            data(QStringLiteral("points.xsl"))));
        QVERIFY(QDir().mkpath(data(QStringLiteral("tmp"))));
        m_work = data(QStringLiteral("work"));
        QVERIFY(QFile::exists(program));
        // The pipeline run here makes its temporary files where the program's go.
        if (qEnvironmentVariableIsSet("TMPDIR"))
            m_savedTmpdir = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(data(QStringLiteral("tmp"))));
    }

    void cleanupTestCase()
    {
        if (m_savedTmpdir)
            qputenv("TMPDIR", *m_savedTmpdir);
        else
            qunsetenv("TMPDIR");
    }

    void init()
    {
        QVERIFY(QDir(m_work).removeRecursively());
        QVERIFY(QDir().mkpath(m_work));
    }

    // No temporary file outlives a failed write.
    void cleanup() { QCOMPARE(filesIn(data(QStringLiteral("tmp"))), QStringList()); }

    // The program itself, its writes limited: the report of yesterday stays as it was, byte for
    // byte, which a report written straight over it would not.
    // The limit's signal may come ignored from the caller or at its default action, which would
    // end the program in the middle of the write.
    void failedOutputKeepsTheOldReport_data()
    {
        QTest::addColumn<bool>("signalIgnored");
        QTest::newRow("SIGXFSZ ignored") << true;
        QTest::newRow("SIGXFSZ at its default") << false;
    }
    void failedOutputKeepsTheOldReport()
    {
        QFETCH(bool, signalIgnored);
        const QString target = work(QStringLiteral("report.csv"));
        QVERIFY(writeFile(target, oldReport));
        QProcess zandrel;
        if (signalIgnored)
            filesizelimit::limitProgram(zandrel, 64 * 1024);
        else
            zandrel.setChildProcessModifier([] {
                const rlimit limit{64 * 1024, 64 * 1024};
                if (::signal(SIGXFSZ, SIG_DFL) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                    ::_exit(125);
            });
        startProgram(zandrel, m_dir.path(),
                     {data(QStringLiteral("job.dxm")), data(QStringLiteral("points.xsl")), target});
        QVERIFY(zandrel.waitForFinished(120000));
        QCOMPARE(zandrel.exitStatus(), QProcess::NormalExit);
        const QString errors = QString::fromLocal8Bit(zandrel.readAllStandardError());
        QCOMPARE(zandrel.exitCode(), 1);
        QVERIFY2(errors.contains(QStringLiteral("could not be written")) && errors.contains(target) &&
                     errors.contains(platform::systemErrorText(EFBIG)),
                 qPrintable(errors));
        QCOMPARE(readAll(target), oldReport);
        QCOMPARE(filesIn(m_work), QStringList{"report.csv"});
    }

    // The new file's name beside the target is short whatever the target's length, and one that
    // a process killed outright left there goes with the next replacement; those of a process
    // that runs, and files of other names, stay.
    void replacementNamesBesideTheTarget_data()
    {
        QTest::addColumn<int>("nameBytes");
        QTest::newRow("short name") << 10;
        QTest::newRow("247 bytes") << 247;
        QTest::newRow("255 bytes") << 255;
    }
    void replacementNamesBesideTheTarget()
    {
        QFETCH(int, nameBytes);
        QProcess ended;
        ended.start(QStringLiteral("true"));
        QVERIFY(ended.waitForStarted(10000));
        const QByteArray gone = QByteArray::number(ended.processId());
        QVERIFY(ended.waitForFinished(10000));
        const QStringList left = {".zandrel-" + gone + "-a1B2c3D4",
                                  ".zandrel-" + QByteArray::number(::getpid()) + "-e5F6g7H8",
                                  QStringLiteral("report.csv.i9J0k1L2")};
        for (const QString &name : left)
            QVERIFY(writeFile(work(name), "half a report"));
        const QString name = QString(nameBytes - 4, u'r') + QStringLiteral(".csv");
        const QString target = work(name);
        QVERIFY(writeFile(target, oldReport));
        const QString source = data(QStringLiteral("new report"));
        QVERIFY(writeFile(source, "the new report\n"));
        const platform::FileDescriptor input(
            ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC));
        QString error;
        QVERIFY2(platform::replaceWithContents(input.get(), target, &error), qPrintable(error));
        QCOMPARE(readAll(target), QByteArray("the new report\n"));
        QStringList expected = left.mid(1);
        expected.append(name);
        expected.sort();
        QStringList found = filesIn(m_work);
        found.sort();
        QCOMPARE(found, expected);
    }

    // An output that a team shares keeps its owner, group, mode and links when it is replaced.
    void sharedOutputStaysTheSameFile_data()
    {
        QTest::addColumn<QString>("sharing");
        QTest::newRow("second hard link") << "link";
        QTest::newRow("file of another user") << "owner";
        QTest::newRow("own file in another group") << "group";
    }
    void sharedOutputStaysTheSameFile()
    {
        QFETCH(QString, sharing);
        const QString target = work(QStringLiteral("shared report.csv"));
        const QByteArray file = QFile::encodeName(target);
        QVERIFY(writeFile(target, QByteArray(4096, 'o')));
        QVERIFY(::chmod(file.constData(), 0664) == 0);
        if (sharing == QLatin1String("link")) {
            QVERIFY(::link(file.constData(),
                           QFile::encodeName(work(QStringLiteral("link.csv"))).constData()) == 0);
        } else if (sharing == QLatin1String("owner")) {
            if (::geteuid() != 0)
                QSKIP("Only root can give the file to another user; the method choice covers this case");
            QVERIFY(::chown(file.constData(), 65534, 100) == 0);
        } else {
            gid_t groups[64];
            const int count = ::getgroups(64, groups);
            const auto other = std::find_if(groups, groups + std::max(count, 0),
                                            [](gid_t group) { return group != ::getegid(); });
            if (::geteuid() != 0 && other == groups + std::max(count, 0))
                QSKIP("The user belongs to no second group");
            QVERIFY(::chown(file.constData(), uid_t(-1), ::geteuid() == 0 ? 100 : *other) == 0);
        }
        struct stat before {};
        QVERIFY(::stat(file.constData(), &before) == 0);

        const QString source = data(QStringLiteral("new report"));
        QVERIFY(writeFile(source, "the new report\n"));
        const platform::FileDescriptor input(
            ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC));
        QString error;
        QVERIFY2(platform::replaceWithContents(input.get(), target, &error), qPrintable(error));
        QCOMPARE(readAll(target), QByteArray("the new report\n"));
        struct stat after {};
        QVERIFY(::stat(file.constData(), &after) == 0);
        // A group the user may give a new file is kept by the new file.
        if (sharing != QLatin1String("group"))
            QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
        QCOMPARE(after.st_mode, before.st_mode);
        if (sharing == QLatin1String("link"))
            QCOMPARE(readAll(work(QStringLiteral("link.csv"))), QByteArray("the new report\n"));
    }

    // The step that the program reaches only when its temporary file was written in full: the
    // copy into the new file beside the target fails part way.
    void failedReplacementKeepsTheOldFile()
    {
        const QString source = data(QStringLiteral("new report"));
        QVERIFY(writeFile(source, QByteArray(256 * 1024, 'n')));
        const QString target = work(QStringLiteral("report.csv"));
        QVERIFY(writeFile(target, oldReport));
        const platform::FileDescriptor input(
            ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC));
        QVERIFY(input.isOpen());
        QString error;
        std::optional<filesizelimit::ScopedLimit> limit(std::in_place, 64 * 1024);
        QVERIFY(limit->isSet());
        const bool replaced = platform::replaceWithContents(input.get(), target, &error);
        limit.reset();
        QVERIFY(!replaced);
        QCOMPARE(error, platform::systemErrorText(EFBIG));
        QCOMPARE(readAll(target), oldReport);
        QCOMPARE(filesIn(m_work), QStringList{"report.csv"});
    }

    void failedAnswersKeepTheStyleSheet_data()
    {
        QTest::addColumn<bool>("shared");
        // A style sheet of the user's alone is replaced; one with a second link is written over.
        QTest::newRow("replaced") << false;
        QTest::newRow("written over in place") << true;
    }
    void failedAnswersKeepTheStyleSheet()
    {
        QFETCH(bool, shared);
        const QString sheet = work(QStringLiteral("answers.xsl"));
        QFile::remove(sheet);
        QFile::remove(work(QStringLiteral("answer.txt")));
        QFile::remove(work(QStringLiteral("answers-link.xsl")));
        const QByteArray content =
            "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\n"
            "<xsl:output method=\"text\"/>\n"
            "<xsl:variable name=\"userField1\" select=\"'title|Title|STRING'\"/>\n"
            "<xsl:variable name=\"title\" select=\"'old'\"/>\n"
            "<xsl:template match=\"/\"><xsl:value-of select=\"$title\"/></xsl:template>\n"
            "</xsl:stylesheet>\n";
        QVERIFY(writeFile(sheet, content));
        if (shared)
            QCOMPARE(::link(QFile::encodeName(sheet).constData(),
                            QFile::encodeName(work(QStringLiteral("answers-link.xsl"))).constData()),
                     0);
        ScriptedInteraction interaction;
        interaction.valueAnswers = {Answer::given(QStringLiteral("new title"))};
        GenerationPipeline pipeline(interaction);
        GenerationInputs inputs;
        inputs.sourceFile = data(QStringLiteral("job.dxm"));
        inputs.styleSheetPath = sheet;
        inputs.outputFileName = work(QStringLiteral("answer.txt"));
        // Room for the output of nine bytes and for the answer's place in the style sheet, not
        // for the whole style sheet with the answer in it: a style sheet written over in place
        // without care would show it.
        std::optional<filesizelimit::ScopedLimit> limit(std::in_place, 256);
        QVERIFY(limit->isSet());
        const GenerationOutcome outcome = pipeline.run(inputs, true);
        limit.reset();
        // The answer still applies to this generation; the user hears why it is not kept.
        QCOMPARE(outcome, GenerationOutcome::Written);
        QCOMPARE(readAll(work(QStringLiteral("answer.txt"))), QByteArray("new title"));
        QCOMPARE(interaction.messages.size(), 1);
        QCOMPARE(interaction.messages[0].kind, MessageKind::Warning);
        QVERIFY2(interaction.messages[0].text.contains(QStringLiteral("could not be saved")),
                 qPrintable(interaction.messages[0].text));
        QCOMPARE(readAll(sheet), content);
        QStringList expected{"answer.txt", "answers.xsl"};
        if (shared)
            expected.insert(1, QStringLiteral("answers-link.xsl"));
        QCOMPARE(filesIn(m_work), expected);
    }

    void failedSettingsKeepTheFile()
    {
        const QString file = work(QStringLiteral("user.reg"));
        settings::RegFileStore store(file, work(QStringLiteral("machine.reg")));
        QVERIFY(store.writeValues(
            settings::RegistryHive::CurrentUser, QStringLiteral("Software\\Veltrix\\Zandrel"),
            {settings::RegistryValue::string(QStringLiteral("JobOrDexmorFile"), QStringLiteral("a.dxm"))}));
        const QByteArray before = readAll(file);
        QString error;
        std::optional<filesizelimit::ScopedLimit> limit(std::in_place, 1024);
        QVERIFY(limit->isSet());
        const bool written = store.writeValues(
            settings::RegistryHive::CurrentUser, QStringLiteral("Software\\Veltrix\\Zandrel"),
            {settings::RegistryValue::string(QStringLiteral("Big"), QString(8000, u'x'))}, &error);
        limit.reset();
        QVERIFY(!written);
        QVERIFY2(error.contains(platform::systemErrorText(EFBIG)), qPrintable(error));
        QCOMPARE(readAll(file), before);
        QCOMPARE(filesIn(m_work), QStringList{"user.reg"});
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
        QVERIFY(QFile::copy(QStringLiteral(ZANDREL_SOURCE_DIR "/tests/data/pipeline/points.xsl"),
                            dir.filePath(QStringLiteral("points.xsl"))));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("tmp"))));
        const QString target = dir.filePath(QStringLiteral("report.csv"));
        QVERIFY(writeFile(target, "good"));
        QProcess zandrel;
        startProgram(
            zandrel, dir.path(),
            {dir.filePath(QStringLiteral("job.dxm")), dir.filePath(QStringLiteral("points.xsl")), target});
        QVERIFY(zandrel.waitForStarted());
        QTest::qWait(delayMs);
        // Only a running program is killed: a finished one has no process id left.
        if (zandrel.state() == QProcess::Running && zandrel.processId() > 0)
            ::kill(pid_t(zandrel.processId()), SIGKILL);
        if (zandrel.state() != QProcess::NotRunning)
            QVERIFY(zandrel.waitForFinished(60000));
        const QByteArray content = readAll(target);
        // Either the old file or the whole new one, never something between.
        QVERIFY2(content == "good" || (content.startsWith("P0,1000.0,2000.5\n") &&
                                       content.endsWith("P19999,1000.59,2000.5\n")),
                 content.left(40).constData());
        // Nothing else either: no temporary file and no new output under a name of its own
        // beside the old one.
        QCOMPARE(filesIn(dir.path()), (QStringList{"job.dxm", "points.xsl", "report.csv", "tmp"}));
        QCOMPARE(filesIn(dir.filePath(QStringLiteral("tmp"))), QStringList());
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
