// Every document a run reads counts against the memory limit: a style sheet, an import or a
// document() file without end (a device, a FIFO written for ever) stops the program with the
// limit's message instead of taking the machine's memory. The program runs as a batch job with a
// 64 MB limit in its settings, under an address-space limit that ends it long before the machine
// suffers should the bound fail.
#include "support/Sanitizers.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const QString program = QStringLiteral(ZANDREL_BINARY_DIR "/zandrel");
const QString job = QStringLiteral(ZANDREL_SOURCE_DIR "/tests/data/pipeline/job.dxm");
constexpr int runSeconds = 60;

const QByteArray sheetStart =
    "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\n";

// A FIFO that a thread writes the head and then the unit into for ever, until its reader goes or
// the object does.
class EndlessFifo {
public:
    EndlessFifo(const QString &path, QByteArray head, QByteArray unit)
    {
        m_made = ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
        if (m_made)
            m_writer = std::thread([this, name = QFile::encodeName(path), head = std::move(head),
                                    unit = std::move(unit)] { write(name, head, unit); });
    }
    ~EndlessFifo()
    {
        m_stop = true;
        if (m_writer.joinable())
            m_writer.join();
    }
    bool made() const { return m_made; }

private:
    void write(const QByteArray &name, const QByteArray &head, const QByteArray &unit)
    {
        int fd = -1;
        while (!m_stop && (fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0)
            ::usleep(2000);
        if (fd < 0)
            return;
        QByteArray units;
        while (units.size() < 64 * 1024)
            units += unit;
        // The head once, then the units for ever, each byte in its order however the pipe takes them.
        QByteArray pending = head;
        qsizetype offset = 0;
        while (!m_stop) {
            if (offset == pending.size()) {
                pending = units;
                offset = 0;
            }
            pollfd wait{fd, POLLOUT, 0};
            if (::poll(&wait, 1, 50) <= 0)
                continue;
            const ssize_t written =
                ::write(fd, pending.constData() + offset, std::size_t(pending.size() - offset));
            if (written < 0 && errno != EAGAIN && errno != EINTR)
                break; // the reader has gone
            offset += std::max<ssize_t>(written, 0);
        }
        ::close(fd);
    }

    bool m_made = false;
    std::atomic<bool> m_stop{false};
    std::thread m_writer;
};

} // namespace

class BoundedReadingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The FIFOs' writers learn that the program has gone from a failed write.
        std::signal(SIGPIPE, SIG_IGN);
    }

    void endlessDocumentStopsAtTheLimit_data()
    {
        QTest::addColumn<QString>("sheet"); // the style sheet; "fifo" for the endless FIFO itself
        QTest::addColumn<QByteArray>("sheetText");
        QTest::addColumn<QByteArray>("fifoHead");
        QTest::addColumn<QByteArray>("fifoUnit");
        QTest::addColumn<QByteArray>("message");

        const QByteArray loadLimit = "It needs more than 64 MB of memory";
        const QByteArray runLimit = "needed more than 64 MB of memory while it read";
        QTest::newRow("style sheet from a device")
            << "/dev/zero" << QByteArray() << QByteArray() << QByteArray() << loadLimit;
        QTest::newRow("style sheet from an endless FIFO")
            << "fifo" << QByteArray() << sheetStart + "<xsl:template match=\"/\">"
            << QByteArray("<e>text</e>") << loadLimit;
        QTest::newRow("import from an endless FIFO")
            << "sheet.xsl"
            << sheetStart + "<xsl:import href=\"fifo\"/><xsl:import href=\"fifo\"/>"
                            "<xsl:template match=\"/\">x</xsl:template></xsl:stylesheet>\n"
            << sheetStart + "<xsl:template match=\"/\">" << QByteArray("<e>text</e>") << runLimit;
        QTest::newRow("document() from an endless FIFO")
            << "sheet.xsl"
            << sheetStart + "<xsl:template match=\"/\"><xsl:value-of select=\"count(document('fifo')//e)\"/>"
                            "</xsl:template></xsl:stylesheet>\n"
            << QByteArray("<r>") << QByteArray("<e>text</e>") << runLimit;
    }

    void endlessDocumentStopsAtTheLimit()
    {
        QFETCH(QString, sheet);
        QFETCH(QByteArray, sheetText);
        QFETCH(QByteArray, fifoHead);
        QFETCH(QByteArray, fifoUnit);
        QFETCH(QByteArray, message);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString config = dir.filePath(QStringLiteral("config/zandrel"));
        QVERIFY(QDir().mkpath(config));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("tmp"))));
        QVERIFY(writeFile(config + QStringLiteral("/user.reg"),
                          "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel]\n"
                          "\"TransformationMemoryLimit\"=dword:00000040\n"));
        std::optional<EndlessFifo> fifo;
        if (!fifoHead.isEmpty()) {
            fifo.emplace(dir.filePath(QStringLiteral("fifo")), fifoHead, fifoUnit);
            QVERIFY(fifo->made());
        }
        if (!sheetText.isEmpty())
            QVERIFY(writeFile(dir.filePath(sheet), sheetText));
        const QString sheetPath = sheet.startsWith(u'/') ? sheet : dir.filePath(sheet);
        const QString target = dir.filePath(QStringLiteral("report.txt"));
        QVERIFY(writeFile(target, "good"));

        QProcess run;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1String(name));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("TMPDIR"), dir.filePath(QStringLiteral("tmp")));
        run.setProcessEnvironment(environment);
        run.setStandardInputFile(QProcess::nullDevice());
        // Should the bound fail, the program ends at this limit instead of taking the machine's
        // memory; the sanitizer's shadow memory needs an address space of its own size.
        if (!builtWithAddressSanitizer())
            run.setChildProcessModifier([] {
                const rlimit limit{rlim_t(3) << 30, rlim_t(3) << 30};
                ::setrlimit(RLIMIT_AS, &limit);
            });
        run.start(program, {job, sheetPath, target});
        QVERIFY2(run.waitForStarted(), qPrintable(run.errorString()));
        if (!run.waitForFinished(runSeconds * 1000)) {
            run.kill();
            run.waitForFinished();
            QFAIL("the program was still reading after its time");
        }
        const QByteArray errors = run.readAllStandardError();
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        QVERIFY2(errors.contains(message), (errors + " / exit " + QByteArray::number(run.exitCode()) +
                                            " / out " + run.readAllStandardOutput())
                                               .constData());
        QCOMPARE(run.exitCode(), 1);
        QCOMPARE(readAll(target), QByteArray("good"));
    }
};

QTEST_GUILESS_MAIN(BoundedReadingTest)
#include "tst_boundedreading.moc"
