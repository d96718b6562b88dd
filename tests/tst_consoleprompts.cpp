// Answers the program's questions on a real pseudo-terminal, as a person at a terminal would.
#include "support/TestFiles.h"
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The program running on the slave side of a pseudo-terminal.
class TerminalSession {
public:
    TerminalSession(const QStringList &arguments, const QString &workingDirectory)
    {
        QList<QByteArray> storage;
        storage << QByteArray(ZANDREL_BINARY_DIR "/zandrel");
        for (const QString &argument : arguments)
            storage << QFile::encodeName(argument);
        m_pid = ::forkpty(&m_master, nullptr, nullptr, nullptr);
        if (m_pid == 0) {
            std::vector<char *> argv;
            for (QByteArray &argument : storage)
                argv.push_back(argument.data());
            argv.push_back(nullptr);
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
            ::unsetenv("QT_QPA_PLATFORM");
            if (::chdir(QFile::encodeName(workingDirectory).constData()) != 0)
                ::_exit(126);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~TerminalSession()
    {
        if (m_pid > 0 && !m_exited) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_master >= 0)
            ::close(m_master);
    }

    bool started() const { return m_pid > 0 && m_master >= 0; }
    const QByteArray &transcript() const { return m_transcript; }

    // Waits until the text appears after what was already matched.
    bool expect(const QByteArray &text, int timeoutMs = 20000)
    {
        QElapsedTimer timer;
        timer.start();
        for (;;) {
            const qsizetype found = m_transcript.indexOf(text, m_matched);
            if (found >= 0) {
                m_matched = found + text.size();
                return true;
            }
            if (timer.elapsed() > timeoutMs || !readSome(int(timeoutMs - timer.elapsed())))
                return false;
        }
    }

    void send(const QByteArray &line) { (void)!::write(m_master, line.constData(), line.size()); }

    int exitCode()
    {
        while (readSome(2000)) {
        }
        int status = 0;
        if (::waitpid(m_pid, &status, 0) != m_pid)
            return -1;
        m_exited = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    bool readSome(int timeoutMs)
    {
        pollfd descriptor{m_master, POLLIN, 0};
        if (::poll(&descriptor, 1, std::max(timeoutMs, 0)) <= 0)
            return false;
        char buffer[4096];
        const ssize_t count = ::read(m_master, buffer, sizeof buffer);
        if (count <= 0)
            return false;
        m_transcript.append(buffer, count);
        return true;
    }

    pid_t m_pid = -1;
    int m_master = -1;
    bool m_exited = false;
    QByteArray m_transcript;
    qsizetype m_matched = 0;
};

} // namespace

class ConsolePromptsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString prepareStyleSheet()
    {
        const QString sheet = m_dir.filePath(QStringLiteral("all types.xsl"));
        QFile::remove(sheet);
        QFile::copy(QStringLiteral(ZANDREL_SOURCE_DIR "/tests/data/variables/all-types.xsl"), sheet);
        QFile::setPermissions(sheet, QFile::ReadOwner | QFile::WriteOwner);
        return sheet;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QFile job(m_dir.filePath(QStringLiteral("job.dxm")));
        QVERIFY(job.open(QIODevice::WriteOnly));
        job.write("<job/>");
        QFile codes(m_dir.filePath(QStringLiteral("codes.csv")));
        QVERIFY(codes.open(QIODevice::WriteOnly));
    }

    void everyKindOfQuestion()
    {
        const QString sheet = prepareStyleSheet();
        TerminalSession session({m_dir.filePath(QStringLiteral("job.dxm")), sheet, QStringLiteral("report")},
                                m_dir.path());
        QVERIFY(session.started());
        QVERIFY(session.expect("Field delimiter"));
        QVERIFY(session.expect("3) Tab"));
        QVERIFY(session.expect("[Comma]"));
        session.send("4\n");
        QVERIFY(session.expect("Enter the number or the text of an entry"));
        QVERIFY(session.expect("[Comma]"));
        session.send("tab\n");
        QVERIFY(session.expect("Decimal places [3]"));
        session.send("9\n");
        QVERIFY(session.expect("The entered value is outside the valid range 0 to 6"));
        QVERIFY(session.expect("Decimal places [3]"));
        session.send("5\n");
        QVERIFY(session.expect("Scale factor [1.00]"));
        session.send("x\n");
        QVERIFY(session.expect("A numeric value is required"));
        QVERIFY(session.expect("Scale factor [1.00]"));
        session.send("1.25\n");
        QVERIFY(session.expect("Report title [Control survey]"));
        session.send("\n");
        QVERIFY(session.expect("Code list [codes.csv]"));
        session.send("missing\n");
        QVERIFY(session.expect("missing.csv does not exist"));
        session.send("codes\n");
        QCOMPARE(session.exitCode(), 0);

        const QString codes = m_dir.filePath(QStringLiteral("codes.csv"));
        QCOMPARE(QString::fromUtf8(readAll(m_dir.filePath(QStringLiteral("report.txt")))),
                 QStringLiteral("Tab|5|1.25|Control survey|") + codes);
        const QByteArray rewritten = readAll(sheet);
        QVERIFY(rewritten.contains("name=\"delimiter\" select=\"'Tab'\""));
        QVERIFY(rewritten.contains("name=\"decimals\" select=\"5\""));
        QVERIFY(rewritten.contains("name=\"scale\" select=\"1.25\""));
        QVERIFY(rewritten.contains("name=\"codes\" select=\"'codes.csv'\""));
    }

    void endOfInputCancels()
    {
        const QString sheet = prepareStyleSheet();
        const QByteArray before = readAll(sheet);
        TerminalSession session({m_dir.filePath(QStringLiteral("job.dxm")), sheet, QStringLiteral("cancelled")},
                                m_dir.path());
        QVERIFY(session.started());
        QVERIFY(session.expect("[Comma]"));
        session.send("2\n");
        QVERIFY(session.expect("Decimal places [3]"));
        session.send("\x04");
        QCOMPARE(session.exitCode(), 0);
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("cancelled.txt"))));
        QCOMPARE(readAll(sheet), before);
    }

    void saveQuestionOnTheTerminal()
    {
        const QString sheet = m_dir.filePath(QStringLiteral("plain.xsl"));
        QFile file(sheet);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                   "<xsl:output method='text'/><xsl:variable name='fileExt' select=\"'csv'\"/>"
                   "<xsl:template match='/'>done</xsl:template></xsl:stylesheet>");
        file.close();
        QFile existing(m_dir.filePath(QStringLiteral("job.csv")));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("keep");
        existing.close();

        TerminalSession session({m_dir.filePath(QStringLiteral("job.dxm")), sheet}, m_dir.path());
        QVERIFY(session.started());
        QVERIFY(session.expect("Save the generated file as [job.csv]:"));
        session.send("\n");
        QVERIFY(session.expect("job.csv already exists. Replace it? [y/N]"));
        session.send("n\n");
        QVERIFY(session.expect("Save the generated file as [job.csv]:"));
        session.send("other\n");
        QVERIFY(session.expect("File other.csv successfully created"));
        QCOMPARE(session.exitCode(), 0);
        QCOMPARE(readAll(m_dir.filePath(QStringLiteral("job.csv"))), QByteArray("keep"));
        QCOMPARE(readAll(m_dir.filePath(QStringLiteral("other.csv"))), QByteArray("done"));
    }
};

QTEST_GUILESS_MAIN(ConsolePromptsTest)
#include "tst_consoleprompts.moc"
