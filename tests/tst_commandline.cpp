// Runs the built program as a script would: no display, no terminal.
#include "support/Fifo.h"
#include "support/TestFiles.h"
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <clocale>
#include <cstring>
#include <fcntl.h>
#include <locale.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

const QString program = QStringLiteral(ZANDREL_BINARY_DIR "/zandrel");

// Copies the files of a folder of the source tree: a program that writes where it must not (an
// output that is its source) writes into the copy, never into the source tree.
bool copyFiles(const QString &sourceTreeFolder, const QString &to)
{
    const QDir from(QStringLiteral(ZANDREL_SOURCE_DIR "/") + sourceTreeFolder);
    if (!QDir().mkpath(to))
        return false;
    const QStringList names = from.entryList(QDir::Files);
    return !names.isEmpty() && std::all_of(names.begin(), names.end(), [&](const QString &name) {
        return QFile::copy(from.filePath(name), to + u'/' + name);
    });
}

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

// An X server that admits other users only: it takes each connection and refuses its setup, as a
// server does to a script that has the DISPLAY but not the authorization to go with it. Listens
// in Linux's abstract socket namespace, where a display number needs no file.
class RefusingXServer {
public:
    RefusingXServer()
    {
        for (int number = 700; number < 800 && m_display < 0; ++number) {
            const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const QByteArray name = "/tmp/.X11-unix/X" + QByteArray::number(number);
            std::memcpy(address.sun_path + 1, name.constData(), std::size_t(name.size()));
            const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + std::size_t(name.size()));
            if (::bind(listener, reinterpret_cast<sockaddr *>(&address), length) == 0 &&
                ::listen(listener, 8) == 0) {
                m_listener = listener;
                m_display = number;
            } else {
                ::close(listener);
            }
        }
        if (m_display >= 0)
            m_thread = std::thread([this] { serve(); });
    }
    ~RefusingXServer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_listener >= 0)
            ::close(m_listener);
    }
    // The DISPLAY that leads here; empty when no display number was free.
    QString display() const { return m_display < 0 ? QString() : QStringLiteral(":%1").arg(m_display); }

private:
    void serve()
    {
        while (!m_stop) {
            pollfd waiting{m_listener, POLLIN, 0};
            if (::poll(&waiting, 1, 100) <= 0)
                continue;
            const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            // The client's setup request starts with its byte order.
            char request[4096];
            pollfd reading{client, POLLIN, 0};
            const ssize_t got =
                ::poll(&reading, 1, 2000) > 0 ? ::recv(client, request, sizeof request, 0) : 0;
            const bool bigEndian = got > 0 && request[0] == 'B';
            static const QByteArray reason("No protocol specified\n");
            QByteArray padded = reason;
            padded.append(QByteArray((4 - reason.size() % 4) % 4, '\0'));
            const auto field = [bigEndian](int value) {
                const char high = char(value >> 8), low = char(value & 0xff);
                return bigEndian ? QByteArray{} + high + low : QByteArray{} + low + high;
            };
            // Failed, the reason's length, protocol 11.0, the length of what follows in words.
            const QByteArray reply = QByteArray(1, '\0') + char(reason.size()) + field(11) + field(0) +
                                     field(int(padded.size() / 4)) + padded;
            (void)::send(client, reply.constData(), std::size_t(reply.size()), MSG_NOSIGNAL);
            ::close(client);
        }
    }

    int m_listener = -1;
    int m_display = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

class CommandLineTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_work;
    RefusingXServer m_refusingServer;
    QString m_samples;      // the sample job, and its style sheets in stylesheets/
    QString m_pipelineData; // the pipeline tests' jobs and style sheets
    QString m_whiteSpaceData;

    Run run(const QStringList &arguments, const QString &executable = program, const QString &locale = {},
            const QStringList &display = {})
    {
        QProcess process;
        start(process, arguments, executable, locale, display);
        return finish(process);
    }

    void start(QProcess &process, const QStringList &arguments, const QString &executable = program,
               const QString &locale = {}, const QStringList &display = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!locale.isEmpty()) {
            environment.insert(QStringLiteral("LC_ALL"), locale);
            environment.insert(QStringLiteral("LANG"), locale);
        }
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1String(name));
        // Display variables, as NAME=value.
        for (const QString &variable : display) {
            environment.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
            // Qt's runtime folder, which would otherwise be made in the temporary folder checked below.
            environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_work.filePath(QStringLiteral("runtime")));
        }
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_work.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("TMPDIR"), m_work.filePath(QStringLiteral("tmp")));
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(m_work.path());
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(executable, arguments);
    }

    static Run finish(QProcess &process)
    {
        if (!process.waitForFinished(120000)) {
            process.kill();
            process.waitForFinished();
            return {};
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_work.isValid());
        QVERIFY(QDir().mkpath(m_work.filePath(QStringLiteral("tmp"))));
        QVERIFY(QDir().mkpath(m_work.filePath(QStringLiteral("runtime"))));
        QVERIFY(QFile::setPermissions(m_work.filePath(QStringLiteral("runtime")),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(QFile::exists(program));
        m_samples = m_work.filePath(QStringLiteral("source/samples"));
        m_pipelineData = m_work.filePath(QStringLiteral("source/pipeline"));
        m_whiteSpaceData = m_work.filePath(QStringLiteral("source/whitespace"));
        QVERIFY(copyFiles(QStringLiteral("samples"), m_samples));
        // Every sample style sheet is tested below: none there is a failure.
        QVERIFY(copyFiles(QStringLiteral("samples/stylesheets"), m_samples + QStringLiteral("/stylesheets")));
        QVERIFY(copyFiles(QStringLiteral("tests/data/pipeline"), m_pipelineData));
        QVERIFY(copyFiles(QStringLiteral("tests/data/msxml/whitespace"), m_whiteSpaceData));
    }

    void cleanup()
    {
        QCOMPARE(
            QDir(m_work.filePath(QStringLiteral("tmp"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
            QStringList());
    }

    void usageForAWrongArgumentCount_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("one") << QStringList{"job.dxm"};
        QTest::newRow("four") << QStringList{"a", "b", "c", "d"};
        QTest::newRow("empty then one") << QStringList{"", "job.dxm"};
        QTest::newRow("empty ones do not count") << QStringList{"", "a", "", "b", "c", "d", ""};
    }
    void usageForAWrongArgumentCount()
    {
        QFETCH(QStringList, arguments);
        const Run result = run(arguments);
        QCOMPARE(result.exitCode, 0);
        QVERIFY(result.out.startsWith(QStringLiteral("This utility program will apply the style sheet")));
        QVERIFY(result.out.contains(QStringLiteral("\n\nSyntax: zandrel <full Job or Dexmor file name> <full "
                                                   "style sheet file name> [<full output file name>]\n")));
        QCOMPARE(result.err, QString());
    }

    void dialogNeedsADisplay()
    {
        const Run result = run({});
        QCOMPARE(result.exitCode, 1);
        QVERIFY(result.err.contains(QStringLiteral("needs a display")));
    }

    void samplesGiveTheProcessorsOwnBytes_data()
    {
        QTest::addColumn<QString>("styleSheet");
        QTest::addColumn<QString>("locale");
        const QDir folder(m_samples + QStringLiteral("/stylesheets"));
        const QStringList sheets =
            folder.entryList({QStringLiteral("*.xsl"), QStringLiteral("*.xslt")}, QDir::Files);
        // The output never follows the user's locale: a German one writes decimal commas
        // wherever the C library formats numbers.
        for (const QString &sheet : sheets)
            for (const QString &locale : {QStringLiteral("C.UTF-8"), QStringLiteral("de_DE.UTF-8")})
                QTest::addRow("%s, %s", qPrintable(sheet), qPrintable(locale)) << folder.filePath(sheet) << locale;
    }
    void samplesGiveTheProcessorsOwnBytes()
    {
        QFETCH(QString, styleSheet);
        QFETCH(QString, locale);
        const locale_t installed = newlocale(LC_ALL_MASK, locale.toLatin1().constData(), locale_t(nullptr));
        QVERIFY2(installed, "tools/setup-debian.sh generates the locale");
        freelocale(installed);
        const QString xsltproc = QStandardPaths::findExecutable(QStringLiteral("xsltproc"));
        QVERIFY2(!xsltproc.isEmpty(), "xsltproc is installed by tools/setup-debian.sh");
        const QString job = m_samples + QStringLiteral("/job.dxm");
        const QString reference = m_work.filePath(QStringLiteral("reference"));
        QProcess processor;
        processor.start(xsltproc, {QStringLiteral("-o"), reference, styleSheet, job});
        QVERIFY(processor.waitForFinished(120000));
        QCOMPARE(processor.exitCode(), 0);

        const QString output = m_work.filePath(QStringLiteral("sample output.out"));
        const Run result = run({job, styleSheet, output}, program, locale);
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.err, QString());
        const QByteArray expected = readAll(reference);
        QVERIFY(!expected.isEmpty());
        QVERIFY(readAll(output) == expected);
        QFile::remove(output);
        QFile::remove(reference);
    }

    // Batch mode reads the setting; a style sheet that relies on the original platform's
    // white space gives its result only without it.
    void whiteSpaceSetting_data()
    {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no setting") << QByteArray() << "stylesheet.out";
        QTest::newRow("0") << QByteArray("\"PreserveWhiteSpace\"=dword:00000000\n") << "stylesheet.out";
        QTest::newRow("1") << QByteArray("\"PreserveWhiteSpace\"=dword:00000001\n") << "stylesheet.preserve.out";
    }
    void whiteSpaceSetting()
    {
        QFETCH(QByteArray, setting);
        QFETCH(QString, expected);
        const QString folder = m_whiteSpaceData + u'/';
        QVERIFY(QDir().mkpath(m_work.filePath(QStringLiteral("config/zandrel"))));
        QFile settings(m_work.filePath(QStringLiteral("config/zandrel/user.reg")));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(
            "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel]\n" +
            setting);
        settings.close();
        const QString output = m_work.filePath(QStringLiteral("spaces.txt"));
        const Run result = run({folder + "stylesheet.xml", folder + "stylesheet.xsl", output});
        QVERIFY(settings.remove());
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(readAll(output), readAll(folder + expected));
        QFile::remove(output);
    }

    void dexmorEntryCopiesTheJob()
    {
        const QString job = m_pipelineData + QStringLiteral("/job.dxm");
        const Run result = run({job, QStringLiteral("Dexmor"), QStringLiteral("copy")});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(readAll(m_work.filePath(QStringLiteral("copy.dxm"))), readAll(job));
    }

    void twoArgumentsWithoutATerminal()
    {
        const QString job = m_pipelineData + QStringLiteral("/job.dxm");
        const QString sheet = m_pipelineData + QStringLiteral("/points.xsl");
        const QString proposed = m_work.filePath(QStringLiteral("job.csv"));
        // An empty third argument does not count: the proposed name is taken in the current folder.
        Run result = run({job, sheet, QString()});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out, QStringLiteral("File %1 successfully created\n").arg(proposed));
        QVERIFY(readAll(proposed).startsWith("P1,1000.5"));

        // Nobody can confirm a replacement, so the existing file stays and the run fails.
        QFile::remove(proposed);
        QVERIFY(QFile(proposed).open(QIODevice::WriteOnly));
        result = run({job, sheet});
        QCOMPARE(result.exitCode, 1);
        QVERIFY(result.err.contains(QStringLiteral("already exists")));
        QCOMPARE(readAll(proposed), QByteArray());
        QFile::remove(proposed);
    }

    void exitCodes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QString job = m_pipelineData + QStringLiteral("/job.dxm");
        QTest::newRow("written") << QStringList{job, m_pipelineData + "/points.xsl", "exit ok"} << 0 << "";
        QTest::newRow("missing source") << QStringList{"missing.dxm", m_pipelineData + "/points.xsl", "x"}
                                        << 1 << "Error loading Dexmor file (missing.dxm)";
        QTest::newRow("bad style sheet") << QStringList{job, m_pipelineData + "/not-well-formed.xsl", "x"}
                                         << 1 << "Error loading style sheet file";
        QTest::newRow("processor error") << QStringList{job, m_pipelineData + "/terminates.xsl", "x"} << 1
                                         << "No points with code XYZ in this job";
        QTest::newRow("output folder missing")
            << QStringList{job, m_pipelineData + "/points.xsl", "no/such/x"} << 1 << "could not be written";
        QTest::newRow("output is the source") << QStringList{job, "Dexmor", job} << 1
                                              << "is the source file or the style sheet";
        QTest::newRow("Job file not converted")
            << QStringList{"field.job", m_pipelineData + "/points.xsl", "x"} << 1 << "";
    }
    void exitCodes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const Run result = run(arguments);
        QCOMPARE(result.exitCode, exitCode);
        if (message.isEmpty())
            QCOMPARE(result.err, QString());
        else
            QVERIFY2(result.err.contains(message), qPrintable(result.err));
        QVERIFY(!QFile::exists(m_work.filePath(QStringLiteral("x.csv"))));
        QFile::remove(m_work.filePath(QStringLiteral("exit ok.csv")));
    }

    // A source or style sheet that is a FIFO (a pipe from another program) is read once.
    void fifoArgumentsAreReadOnce_data()
    {
        QTest::addColumn<int>("fifoArgument");
        QTest::newRow("Dexmor file") << 0;
        QTest::newRow("style sheet") << 1;
    }
    void fifoArgumentsAreReadOnce()
    {
        QFETCH(int, fifoArgument);
        QStringList arguments{m_pipelineData + QStringLiteral("/job.dxm"),
                              m_pipelineData + QStringLiteral("/points.xsl"),
                              m_work.filePath(QStringLiteral("from fifo.csv"))};
        const QByteArray content = readAll(arguments[fifoArgument]);
        const QString fifo =
            m_work.filePath(QStringLiteral("fifo") + QFileInfo(arguments[fifoArgument]).suffix());
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        arguments[fifoArgument] = fifo;
        QProcess process;
        start(process, arguments);
        QVERIFY(feedFifo(QFile::encodeName(fifo), content, process));
        const Run result = finish(process);
        QFile::remove(fifo);
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.err, QString());
        QVERIFY(readAll(arguments[2]).startsWith("P1,1000.5,2000.25\n"));
        QFile::remove(arguments[2]);
    }

    // File names are bytes; those that are no valid UTF-8 open and are written as they are.
    void namesThatAreNoUtf8()
    {
        const QByteArray folder = QFile::encodeName(m_work.path()) + '/';
        const QByteArray source = folder + "job \xff.dxm";
        const QByteArray sheet = folder + "points \xe9.xsl";
        const QByteArray output = folder + "out \xfe\xc3";
        for (const auto &[from, to] : {std::pair{m_pipelineData + QStringLiteral("/job.dxm"), source},
                                       std::pair{m_pipelineData + QStringLiteral("/points.xsl"), sheet}}) {
            const QByteArray content = readAll(from);
            const int fd = ::open(to.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            QVERIFY(fd >= 0);
            QCOMPARE(::write(fd, content.constData(), std::size_t(content.size())), ssize_t(content.size()));
            ::close(fd);
        }
        // Qt cannot remove them with the folder: their names would not make the round trip.
        const auto removeFiles = qScopeGuard([&] {
            for (const QByteArray &name : {source, sheet, output + ".csv"})
                ::unlink(name.constData());
        });
        // The arguments as the shell passes them: raw bytes, written here as octal escapes.
        const auto escaped = [](const QByteArray &name) {
            QString text;
            for (const char c : name)
                text +=
                    QStringLiteral("\\0%1").arg(uint(static_cast<unsigned char>(c)), 3, 8, QLatin1Char('0'));
            return text;
        };
        const Run result = run(
            {QStringLiteral("-c"),
             QStringLiteral(
                 "exec \"$0\" \"$(printf '%b' \"$1\")\" \"$(printf '%b' \"$2\")\" \"$(printf '%b' \"$3\")\""),
             program, escaped(source), escaped(sheet), escaped(output)},
            QStringLiteral("/bin/sh"));
        QVERIFY2(result.err.isEmpty(), qPrintable(result.err));
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.err, QString());
        const int fd = ::open((output + ".csv").constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        char start[18] = {};
        QCOMPARE(::read(fd, start, sizeof start), ssize_t(sizeof start));
        ::close(fd);
        QCOMPARE(QByteArray(start, sizeof start), QByteArray("P1,1000.5,2000.25\n"));
    }

    void languageLibraryBesideTheProgram()
    {
        const QString folder = m_work.filePath(QStringLiteral("installed"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::copy(program, folder + QStringLiteral("/zandrel")));
        QVERIFY(
            QFile::setPermissions(folder + QStringLiteral("/zandrel"), QFile::ExeOwner | QFile::ReadOwner));
        QVERIFY(QFile::copy(QStringLiteral(ZANDREL_BINARY_DIR "/languages/language_de/ZandrelR.so"),
                            folder + QStringLiteral("/ZandrelR.so")));
        const Run result = run({QString(), QString(), QStringLiteral("missing.dxm"),
                                m_pipelineData + "/points.xsl", QStringLiteral("x")},
                               folder + QStringLiteral("/zandrel"));
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains(QStringLiteral("Dexmor-Datei")), qPrintable(result.err));
    }

    // A display that cannot be opened is no display: batch mode runs on the console, takes the
    // proposed output name for want of a terminal, and neither aborts nor waits for an answer that
    // nobody can give. A display that is named but does not answer gets one line of warning.
    void oddDisplaysTakeTheConsoleRoad_data()
    {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QStringList>("display");
        QTest::addColumn<QString>("warning");
        QVERIFY(!QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X93")));
        QVERIFY(!m_refusingServer.display().isEmpty());
        const QString windows = QStringLiteral(ZANDREL_BINARY_DIR "/zandrel-windows");
        QTest::newRow("X display nobody serves") << program << QStringList{"DISPLAY=:93"} << ":93";
        QTest::newRow("Wayland compositor nobody runs")
            << program << QStringList{"WAYLAND_DISPLAY=wayland-93"} << "wayland-93";
        QTest::newRow("offscreen") << program << QStringList{"QT_QPA_PLATFORM=offscreen"} << "";
        QTest::newRow("minimal") << program << QStringList{"QT_QPA_PLATFORM=minimal"} << "";
        QTest::newRow("offscreen with an X display nobody serves")
            << program << QStringList{"QT_QPA_PLATFORM=offscreen", "DISPLAY=:93"} << "";
        QTest::newRow("X server that refuses the connection")
            << program << QStringList{"DISPLAY=" + m_refusingServer.display()} << m_refusingServer.display();
        QTest::newRow("windows program, X display nobody serves")
            << windows << QStringList{"DISPLAY=:93"} << ":93";
        QTest::newRow("windows program, offscreen")
            << windows << QStringList{"QT_QPA_PLATFORM=offscreen"} << "";
    }
    void oddDisplaysTakeTheConsoleRoad()
    {
        QFETCH(QString, executable);
        QFETCH(QStringList, display);
        QFETCH(QString, warning);
        const QString job = m_pipelineData + QStringLiteral("/job.dxm");
        const QString proposed = m_work.filePath(QStringLiteral("job.csv"));
        const auto removeOutput = qScopeGuard([&] { QFile::remove(proposed); });
        QProcess process;
        start(process, {job, m_pipelineData + QStringLiteral("/points.xsl")}, executable, {}, display);
        if (!process.waitForFinished(20000)) {
            process.kill();
            process.waitForFinished();
            QFAIL("the program still runs after 20 s: it waits for an answer that nobody can give");
        }
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QVERIFY2(process.exitCode() == 0, qPrintable(err));
        QCOMPARE(out, QStringLiteral("File %1 successfully created\n").arg(proposed));
        QVERIFY(readAll(proposed).startsWith("P1,1000.5"));
        if (warning.isEmpty()) {
            QCOMPARE(err, QString());
        } else {
            QVERIFY2(
                err.startsWith(QStringLiteral("Warning: The display %1 cannot be opened (").arg(warning)),
                qPrintable(err));
            QVERIFY2(err.count(u'\n') == 1 && err.endsWith(u'\n'), qPrintable(err));
        }
    }

    // With a display that answers the program becomes the windows program; without one beside
    // it, it says so instead of running or hanging. The display here refuses the windows program
    // in turn, which then goes on on the console.
    void displayRunsTheWindowsProgram_data()
    {
        QTest::addColumn<bool>("windowsProgram");
        QTest::newRow("beside") << true;
        QTest::newRow("missing") << false;
    }
    void displayRunsTheWindowsProgram()
    {
        QFETCH(bool, windowsProgram);
        const QString folder = m_work.filePath(QStringLiteral("display"));
        QVERIFY(QDir(folder).removeRecursively() && QDir().mkpath(folder));
        QStringList programs{QStringLiteral("zandrel")};
        if (windowsProgram)
            programs << QStringLiteral("zandrel-windows");
        for (const QString &name : programs) {
            QVERIFY(QFile::copy(QStringLiteral(ZANDREL_BINARY_DIR "/") + name, folder + u'/' + name));
            QVERIFY(QFile::setPermissions(folder + u'/' + name, QFile::ExeOwner | QFile::ReadOwner));
        }
        const QString output = folder + QStringLiteral("/points");
        const Run result = run({m_pipelineData + "/job.dxm", m_pipelineData + "/points.xsl", output},
                               folder + QStringLiteral("/zandrel"), {},
                               {QStringLiteral("DISPLAY=") + m_refusingServer.display()});
        QCOMPARE(result.exitCode, windowsProgram ? 0 : 1);
        QCOMPARE(QFileInfo::exists(output + QStringLiteral(".csv")), windowsProgram);
        QCOMPARE(result.err.contains(QStringLiteral("cannot open its windows")), !windowsProgram);
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
