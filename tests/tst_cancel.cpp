// Cancel in the progress window of every long step of a generation, in the real dialog: the work
// stops within moments, nothing is written, no temporary file remains, and no further box asks
// to be clicked. Work that cannot stop at once can still be ended with the program.
#include "base/GenerationError.h"
#include "generate/ConsoleInteraction.h"
#include "generate/ConvertForm.h"
#include "generate/QtInteraction.h"
#include "generate/WorkThread.h"
#include "settings/RegistryStore.h"
#include "support/ConverterFixture.h"
#include "support/Sanitizers.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QLocale>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace zandrel;
using namespace convertertest;

namespace {

// How long after Cancel the test waits before it fails: the work is meant to stop within a second.
constexpr int stopLimitMilliseconds = 5000;

// Ends the test with a message when a deadline passes unheeded; a thread of its own, since the
// thread under test may be blocked without an event loop.
class Watchdog {
public:
    Watchdog()
        : m_thread([this] {
              std::unique_lock lock(m_mutex);
              for (;;) {
                  if (m_ended)
                      return;
                  if (m_armed && std::chrono::steady_clock::now() >= m_deadline) {
                      std::fprintf(stderr, "FAIL: %s\n", m_message.c_str());
                      std::fflush(stderr);
                      std::abort();
                  }
                  m_changed.wait_for(lock, std::chrono::milliseconds(100));
              }
          })
    {}
    ~Watchdog()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_ended = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    void arm(int milliseconds, const QString &message)
    {
        const std::lock_guard lock(m_mutex);
        m_armed = true;
        m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        m_message = message.toStdString();
    }
    void disarm()
    {
        const std::lock_guard lock(m_mutex);
        m_armed = false;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_armed = false;
    bool m_ended = false;
    std::chrono::steady_clock::time_point m_deadline;
    std::string m_message;
    std::thread m_thread;
};

// Answers each modal window as it is shown, in order; windows past the script are noted and closed.
class ModalScript : public QObject {
public:
    explicit ModalScript(std::vector<std::function<void(QWidget *)>> handlers)
        : m_handlers(std::move(handlers))
    {
        qApp->installEventFilter(this);
    }
    ~ModalScript() override { qApp->removeEventFilter(this); }
    int handled() const { return m_handled; }
    const QStringList &unexpected() const { return m_unexpected; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (event->type() != QEvent::Show || !widget || !widget->isWindow() || !widget->isModal())
            return false;
        if (m_handled < int(m_handlers.size())) {
            auto handler = m_handlers[std::size_t(m_handled++)];
            QTimer::singleShot(0, widget, [handler, widget] { handler(widget); });
        } else {
            auto *box = qobject_cast<QMessageBox *>(widget);
            m_unexpected.append(box ? box->text() : widget->objectName());
            QMetaObject::invokeMethod(widget, "reject", Qt::QueuedConnection);
        }
        return false;
    }

private:
    std::vector<std::function<void(QWidget *)>> m_handlers;
    int m_handled = 0;
    QStringList m_unexpected;
};

// Feeds a FIFO slowly and without end, as a job read from a slow device would come, until the
// reader closes it or the feeder goes.
class SlowWriter {
public:
    SlowWriter(const QString &fifo, QByteArray head, QByteArray chunk)
        : m_thread([this, path = QFile::encodeName(fifo), head = std::move(head), chunk = std::move(chunk)] {
              const int fd = openWhenPeerArrives(path, O_WRONLY);
              if (fd < 0)
                  return;
              bool ok = ::write(fd, head.constData(), std::size_t(head.size())) == head.size();
              while (ok && !m_done.load()) {
                  ok = ::write(fd, chunk.constData(), std::size_t(chunk.size())) == chunk.size();
                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
              }
              ::close(fd);
          })
    {}
    ~SlowWriter()
    {
        m_done.store(true);
        m_thread.join();
    }

    int openWhenPeerArrives(const QByteArray &path, int mode)
    {
        while (!m_done.load()) {
            const int fd = ::open(path.constData(), mode | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
                return fd;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

private:
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

// Reads a FIFO slowly, a kilobyte at a time, as a slow device would take the output.
class SlowReader {
public:
    explicit SlowReader(const QString &fifo)
        : m_fd(::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)),
          m_thread([this] {
              char buffer[1024];
              while (!m_done.load() && m_fd >= 0) {
                  if (::read(m_fd, buffer, sizeof buffer) > 0)
                      m_read.fetch_add(1);
                  std::this_thread::sleep_for(std::chrono::milliseconds(50));
              }
          })
    {}
    ~SlowReader()
    {
        m_done.store(true);
        m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool reads() const { return m_read.load() > 0; }

private:
    int m_fd;
    std::atomic<bool> m_done{false};
    std::atomic<int> m_read{0};
    std::thread m_thread;
};

QByteArray pointsJob(int points)
{
    QByteArray job = "<?xml version=\"1.0\"?>\n<Job>";
    for (int i = 0; i < points; ++i)
        job += "<Pt><Name>P" + QByteArray::number(i) + "</Name><Code>C" + QByteArray::number(i % 13) +
               "</Code><Height>" + QByteArray::number(i % 97) + "</Height></Pt>\n";
    return job + "</Job>\n";
}

QByteArray styleSheet(const QByteArray &body, const QByteArray &extra = {})
{
    return "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" "
           "xmlns:msxsl=\"urn:schemas-microsoft-com:xslt\" xmlns:user=\"urn:user\">" +
           extra + "<xsl:output method=\"text\"/><xsl:template match=\"/\">" + body +
           "</xsl:template></xsl:stylesheet>";
}

QPushButton *cancelButton(QWidget *progress)
{
    return progress->findChild<QPushButton *>(QStringLiteral("CancelBtn"));
}

QString labelText(QWidget *progress, const char *name)
{
    const auto *label = progress->findChild<QLabel *>(QLatin1String(name));
    return label ? label->text() : QString();
}

} // namespace

class CancelTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_work;
    QString m_temporary;

    QString path(const QString &name) const { return m_work + u'/' + name; }

    bool makeFifo(const QString &name) const
    {
        return ::mkfifo(QFile::encodeName(path(name)).constData(), 0600) == 0;
    }

    QStringList temporaryEntries() const
    {
        return QDir(m_temporary).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        m_work = m_root.filePath(QStringLiteral("work"));
        m_temporary = m_root.filePath(QStringLiteral("tmp"));
        const QString xdg = m_root.filePath(QStringLiteral("xdg"));
        for (const QString &folder : {m_work, m_temporary})
            QVERIFY(QDir().mkpath(folder));
        qputenv("TMPDIR", QFile::encodeName(m_temporary));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(xdg));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_root.filePath(QStringLiteral("config"))));
        qputenv("ZANDREL_CONVERTER_HOST", QFile::encodeName(hostProgram()));
        QVERIFY(MachineRegistry()
                    .builtConverters(builtConverters() + u'/')
                    .write(xdg + QStringLiteral("/zandrel/machine.reg")));
        std::signal(SIGPIPE, SIG_IGN);
        // A big job for the steps that take long by their nature.
        QVERIFY(writeFile(path(QStringLiteral("points.dxm")), pointsJob(20000)));
        QVERIFY(writeFile(path(QStringLiteral("small.dxm")), pointsJob(2)));
        QVERIFY(writeFile(path(QStringLiteral("middle.dxm")), pointsJob(4000)));
        QVERIFY(writeFile(path(QStringLiteral("copy.xsl")),
                          styleSheet("<xsl:value-of select=\"count(//Pt)\"/>")));
    }

    void cleanup()
    {
        QCOMPARE(temporaryEntries(), QStringList());
        for (const char *name :
             {"slow.dxm", "device", "device.txt", "gate", "site.job", "out.txt", "silent.dxm"})
            QFile::remove(path(QLatin1String(name)));
    }

    // A work thread that the system refuses is an error, never work done. First of the tests: the
    // C library reuses the stacks of threads that have ended, which needs no more address space.
    void refusedThreadIsAnError_data()
    {
        QTest::addColumn<bool>("window");
        QTest::newRow("console") << false;
        QTest::newRow("progress window") << true;
    }
    void refusedThreadIsAnError()
    {
        QFETCH(bool, window);
        if (builtWithAddressSanitizer() || builtWithThreadSanitizer())
            QSKIP("the sanitizers reserve address space of their own");
        QBuffer input;
        QBuffer out;
        QBuffer errors;
        ConsoleInteraction console(input, out, errors, false, QLocale::c());
        console.setShowsProgress(true);
        QtInteraction dialog;
        Interaction &interaction = window ? static_cast<Interaction &>(dialog) : console;
        std::atomic<bool> ran{false};
        LongWork work{WorkStep::Loading, [&ran] { ran.store(true); }, {}, {}};

        Watchdog watchdog;
        watchdog.arm(10000, QStringLiteral("the refused work thread left the work waiting"));
        // Room for a little more, but not for a work thread's stack.
        QFile statm(QStringLiteral("/proc/self/statm"));
        QVERIFY(statm.open(QIODevice::ReadOnly));
        const rlim_t inUse =
            rlim_t(statm.readAll().split(' ').value(0).toULongLong()) * rlim_t(::getpagesize());
        struct rlimit saved {};
        QVERIFY(::getrlimit(RLIMIT_AS, &saved) == 0);
        struct rlimit limited = saved;
        limited.rlim_cur = inUse + (8u << 20);
        QVERIFY(::setrlimit(RLIMIT_AS, &limited) == 0);
        QString failure;
        bool done = false;
        try {
            done = interaction.runLongWork(work);
        } catch (const GenerationError &error) {
            failure = error.message();
        }
        ::setrlimit(RLIMIT_AS, &saved);
        QVERIFY(!ran.load());
        QVERIFY2(!done, "the work counts as done");
        QVERIFY(failure.contains(QStringLiteral("could not be started")));
    }

    void cancelStopsTheStep_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<bool>("batchMode");
        QTest::addColumn<QString>("stepText");
        QTest::newRow("loading") << "loading" << true << "Loading the documents...";
        QTest::newRow("one XPath expression, batch") << "xpath" << true << "Transforming...";
        QTest::newRow("one XPath expression, dialog") << "xpath" << false << "Transforming...";
        QTest::newRow("a script call") << "script" << true << "Transforming...";
        QTest::newRow("writing the result") << "writing" << true << "Transforming...";
        QTest::newRow("the Dexmor copy") << "dexmor" << true << "Copying the Dexmor file...";
        QTest::newRow("the final copy") << "saving" << true << "Saving the output file...";
        QTest::newRow("the converter's inspection") << "inspection" << true << "Converting the Job file...";
        QTest::newRow("the conversion") << "conversion" << true << "Converting the Job file...";
    }
    void cancelStopsTheStep()
    {
        QFETCH(QString, step);
        QFETCH(bool, batchMode);
        QFETCH(QString, stepText);

        QString source = path(QStringLiteral("points.dxm"));
        QString sheet = path(QStringLiteral("copy.xsl"));
        QString output = path(QStringLiteral("out.txt"));
        std::unique_ptr<SlowWriter> writer;
        std::unique_ptr<SlowReader> reader;
        std::unique_ptr<QFile> hangGate;
        std::vector<std::function<void(QWidget *)>> beforeProgress;
        if (step == QLatin1String("loading")) {
            QVERIFY(makeFifo(QStringLiteral("slow.dxm")));
            source = path(QStringLiteral("slow.dxm"));
            writer = std::make_unique<SlowWriter>(source, "<Job>", "<Pt><Code>A</Code></Pt>\n");
        } else if (step == QLatin1String("xpath")) {
            sheet = path(QStringLiteral("xpath.xsl"));
            QVERIFY(writeFile(
                sheet, styleSheet("<xsl:for-each select=\"/Job\"><xsl:value-of select=\"sum(//Pt[count("
                                  "preceding::Pt[Code = current()/Code]) mod 7 = 0]/Height)\"/>"
                                  "</xsl:for-each>")));
        } else if (step == QLatin1String("script")) {
            source = path(QStringLiteral("small.dxm"));
            sheet = path(QStringLiteral("script.xsl"));
            QVERIFY(
                writeFile(sheet, styleSheet("<xsl:value-of select=\"user:spin()\"/>",
                                            "<msxsl:script language=\"JScript\" implements-prefix=\"user\">"
                                            "function spin() { for (;;) {} }</msxsl:script>")));
        } else if (step == QLatin1String("writing")) {
            sheet = path(QStringLiteral("lines.xsl"));
            QVERIFY(writeFile(sheet,
                              styleSheet("<xsl:for-each select=\"//Pt\"><xsl:value-of select=\"Name\"/>"
                                         "<xsl:text>,a long line of the report for this point&#10;</xsl:text>"
                                         "</xsl:for-each>")));
            QVERIFY(makeFifo(QStringLiteral("device")));
            output = path(QStringLiteral("device"));
            reader = std::make_unique<SlowReader>(output);
        } else if (step == QLatin1String("dexmor")) {
            QVERIFY(makeFifo(QStringLiteral("slow.dxm")));
            source = path(QStringLiteral("slow.dxm"));
            sheet = path(QStringLiteral("Dexmor"));
            writer = std::make_unique<SlowWriter>(source, "<Job>", QByteArray(1024, ' '));
        } else if (step == QLatin1String("saving")) {
            // Transformed before a progress window would show.
            source = path(QStringLiteral("middle.dxm"));
            sheet = path(QStringLiteral("lines.xsl"));
            QVERIFY(writeFile(sheet,
                              styleSheet("<xsl:for-each select=\"//Pt\"><xsl:value-of select=\"Name\"/>"
                                         "<xsl:text>,a long line of the report for this point&#10;</xsl:text>"
                                         "</xsl:for-each>")));
            QVERIFY(makeFifo(QStringLiteral("device.txt")));
            output.clear();
            const QString device = path(QStringLiteral("device.txt"));
            reader = std::make_unique<SlowReader>(device);
            beforeProgress.push_back([device](QWidget *w) {
                auto *dialog = qobject_cast<QFileDialog *>(w);
                QVERIFY(dialog);
                dialog->selectFile(device);
                QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            });
            // Qt asks before it lets an existing file be replaced.
            beforeProgress.push_back([](QWidget *w) {
                auto *box = qobject_cast<QMessageBox *>(w);
                QVERIFY(box);
                box->button(QMessageBox::Yes)->click();
            });
        } else {
            // The converter's inspection, or its conversion, never returns.
            QVERIFY(makeFifo(QStringLiteral("gate")));
            const QString gate = path(QStringLiteral("gate"));
            source = path(QStringLiteral("site.job"));
            const QStringList how =
                step == QLatin1String("inspection")
                    ? QStringList{QStringLiteral("--inspect"), QStringLiteral("hang:") + gate}
                    : QStringList{QStringLiteral("--translate"), QStringLiteral("hang:") + gate};
            const ToolRun run = writeJob(path(QStringLiteral("small.dxm")), source,
                                         QStringList{QStringLiteral("--product"), QStringLiteral("bramwick"),
                                                     QStringLiteral("--version"), QStringLiteral("1300")} +
                                             how);
            QVERIFY2(run.exitCode == 0, run.errors.constData());
            // Opened for writing without waiting; the converter's own open then returns at once.
            hangGate = std::make_unique<QFile>(gate);
            const int fd = ::open(QFile::encodeName(gate).constData(), O_RDWR | O_CLOEXEC);
            QVERIFY(fd >= 0);
            QVERIFY(hangGate->open(fd, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle));
        }

        settings::RegFileStore settings(m_root.filePath(QStringLiteral("user.reg")),
                                        m_root.filePath(QStringLiteral("machine.reg")));
        TConvertForm form(settings, {});
        if (!batchMode) {
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
        }
        form.setSourceFile(source);
        form.model().setStyleSheetPath(sheet);
        form.model().outputFileName = output;

        QString shownStep;
        QString detailsAtShow;
        QString detailsLater;
        QRect progressFrame;
        bool textsFit = true;
        QElapsedTimer sinceCancel;
        Watchdog watchdog;
        watchdog.arm(60000,
                     QStringLiteral("the %1 step showed no progress window within a minute").arg(step));
        std::vector<std::function<void(QWidget *)>> handlers = beforeProgress;
        handlers.push_back([&](QWidget *progress) {
            shownStep = labelText(progress, "StepLbl");
            detailsAtShow = labelText(progress, "DetailsLbl");
            progressFrame = progress->frameGeometry();
            for (const QLabel *label : progress->findChildren<QLabel *>())
                textsFit = textsFit && (label->isHidden() || label->wordWrap() ||
                                        label->width() >= label->sizeHint().width());
            // A moment later, to see that something moves, then Cancel.
            QTimer::singleShot(700, progress, [&, progress] {
                detailsLater = labelText(progress, "DetailsLbl");
                sinceCancel.start();
                watchdog.arm(stopLimitMilliseconds,
                             QStringLiteral("the %1 step did not stop within %2 ms of Cancel")
                                 .arg(step)
                                 .arg(stopLimitMilliseconds));
                cancelButton(progress)->click();
            });
        });
        ModalScript script(handlers);
        const GenerationOutcome outcome = form.OKBtnClick(batchMode);
        const qint64 stoppedAfter = sinceCancel.isValid() ? sinceCancel.elapsed() : -1;
        watchdog.disarm();
        writer.reset();
        reader.reset();

        QCOMPARE(shownStep, stepText);
        QCOMPARE(outcome, GenerationOutcome::Cancelled);
        QVERIFY2(stoppedAfter >= 0 && stoppedAfter < 2000,
                 qPrintable(QStringLiteral("stopped %1 ms after Cancel").arg(stoppedAfter)));
        // No box after the user's own Cancel: batch mode ends, the dialog is back.
        QCOMPARE(script.unexpected(), QStringList());
        QCOMPARE(script.handled(), int(handlers.size()));
        QCOMPARE(form.isVisible(), !batchMode);
        QVERIFY(!QFile::exists(path(QStringLiteral("out.txt"))));
        QVERIFY(textsFit);
        // Centred over the dialog, or over the screen in batch mode.
        const QRect over = batchMode ? form.screen()->availableGeometry() : form.frameGeometry();
        QVERIFY2((progressFrame.center() - over.center()).manhattanLength() <= 2,
                 qPrintable(QStringLiteral("progress at %1,%2 %3x%4")
                                .arg(progressFrame.x())
                                .arg(progressFrame.y())
                                .arg(progressFrame.width())
                                .arg(progressFrame.height())));
        if (step == QLatin1String("xpath"))
            QVERIFY2(
                detailsAtShow != detailsLater,
                qPrintable(QStringLiteral("the transformation shows \"%1\" throughout").arg(detailsAtShow)));
    }

    // A step that cannot stop at once (here the copy waits for a FIFO that nobody writes into)
    // is no trap: the window offers to end the program, which then ends without writing anything.
    void workThatCannotStopEndsTheProgram()
    {
        if (qEnvironmentVariableIsSet("CANCEL_TEST_CHILD"))
            QSKIP("run by its parent only");
        QVERIFY(makeFifo(QStringLiteral("silent.dxm")));
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CANCEL_TEST_CHILD"), path(QStringLiteral("silent.dxm")));
        // The child's own test folder, which it cannot remove as it ends.
        const QString childFolder = m_root.filePath(QStringLiteral("child"));
        QVERIFY(QDir().mkpath(childFolder));
        environment.insert(QStringLiteral("TMPDIR"), childFolder);
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("stuckChild")});
        QVERIFY2(child.waitForFinished(20000),
                 "the program did not end after its progress window offered it");
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        const QByteArray errors = child.readAllStandardError();
        QVERIFY2(child.exitCode() == 1, errors.constData());
        QVERIFY2(errors.contains("The work did not stop when asked; Zandrel ended without writing anything."),
                 errors.constData());
        QVERIFY(!QFile::exists(path(QStringLiteral("out.dxm"))));
        QVERIFY(QDir(childFolder).removeRecursively());
    }

    // The child of the test above: Cancel, then the button that ends the program.
    void stuckChild()
    {
        const QString source = qEnvironmentVariable("CANCEL_TEST_CHILD");
        if (source.isEmpty())
            QSKIP("the child of workThatCannotStopEndsTheProgram");
        settings::RegFileStore settings(m_root.filePath(QStringLiteral("user.reg")),
                                        m_root.filePath(QStringLiteral("machine.reg")));
        TConvertForm form(settings, {});
        form.setSourceFile(source);
        form.model().setStyleSheetPath(QStringLiteral("Dexmor"));
        form.model().outputFileName = QFileInfo(source).absolutePath() + QStringLiteral("/out.dxm");
        ModalScript script({[](QWidget *progress) {
            QPushButton *button = cancelButton(progress);
            button->click();
            auto *poll = new QTimer(progress);
            QObject::connect(poll, &QTimer::timeout, progress, [button] {
                if (button->isEnabled() && button->text() == QLatin1String("End Zandrel"))
                    button->click();
            });
            poll->start(100);
        }});
        QTimer limit;
        QObject::connect(&limit, &QTimer::timeout,
                         [] { qFatal("the progress window never offered to end the program"); });
        limit.start(15000);
        form.OKBtnClick(true);
        std::fprintf(stderr, "the generation returned although its work could not stop\n");
        ::_exit(2);
    }

    // Loading and copying show how far they have come where the size is known.
    void progressSaysHowFar()
    {
        LongWork work{WorkStep::Loading,
                      {},
                      {},
                      [] { return WorkProgress{}; },
                      std::chrono::steady_clock::now() - std::chrono::seconds(3)};
        const ProgressTexts loading = progressTexts(work, {1500, 6000});
        QCOMPARE(loading.percent, 25);
        QCOMPARE(loading.details, QStringList{QStringLiteral("1.5 kB of 6.0 kB (25 %)")});
        QCOMPARE(loading.elapsed, QStringLiteral("Elapsed time: 3 s"));
        work.step = WorkStep::Transforming;
        const ProgressTexts transforming = progressTexts(work, {123456, 0, 0});
        QCOMPARE(transforming.percent, -1);
        // The figure in the user's own way of writing numbers: the test's C locale groups digits
        // with Qt 6.4 and 6.8, not with 6.11.
        QCOMPARE(transforming.details,
                 QStringList{QStringLiteral("Nodes examined: ") + QLocale::system().toString(123456)});
    }
};

QTEST_MAIN(CancelTest)
#include "tst_cancel.moc"
