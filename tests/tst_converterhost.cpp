// The converter's helper process on its own: how it loads a converter library and its
// dependencies, how a call into a converter that never returns is ended, and how it ends when its
// program has gone.

#include "convert/ConvertFile.h"
#include "convert/ConverterHost.h"
#include "convert/ConverterHostProtocol.h"
#include "support/ConverterFixture.h"
#include "support/ProcessWatch.h"

#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <dlfcn.h>
#include <fcntl.h>
#include <memory>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace zandrel;
using namespace convertertest;

namespace {

const QString testJob = sourceFile(QStringLiteral("tests/data/pipeline/job.dxm"));

} // namespace

class ConverterHostTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_job;

    QString path(const QString &name) const { return m_root->filePath(name); }

    bool writeBramwickJob(const QStringList &options = {})
    {
        return writeJob(testJob, m_job, QStringList{"--product", "bramwick", "--version", "1300"} + options)
                   .exitCode == 0;
    }

private Q_SLOTS:
    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_root->isValid());
        m_job = path(QStringLiteral("site.job"));
    }

    // A converter finds the libraries it needs in its own folder, whatever the folder is called and
    // whatever else lies there, and the helper itself loads none of them.
    void dependenciesFromTheConvertersFolder_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("library");
        QTest::addColumn<QStringList>("alsoInTheFolder"); // files that are no libraries
        const QString withoutRunPath = QStringLiteral("mirk-without-runpath.so");
        QTest::newRow("no run path") << "Konverter" << withoutRunPath << QStringList();
        QTest::newRow("no run path, a colon in the folder's name")
            << "Konverter:2024" << withoutRunPath << QStringList();
        QTest::newRow("no run path, a C++ run-time of the vendor's own")
            << "Konverter" << withoutRunPath << QStringList{"libstdc++.so.6", "libgcc_s.so.1"};
        QTest::newRow("built, a colon and a run-time of the vendor's own")
            << "Konverter:2024"
            << "mirk1300.so" << QStringList{"libstdc++.so.6"};
    }
    void dependenciesFromTheConvertersFolder()
    {
        QFETCH(QString, folder);
        QFETCH(QString, library);
        QFETCH(QStringList, alsoInTheFolder);
        const QString converters = path(folder);
        QVERIFY(installConverter(library, converters, QStringLiteral("mirk1300.so")));
        for (const QString &name : alsoInTheFolder)
            QVERIFY(writeFile(converters + u'/' + name, "not a library\n"));
        QVERIFY(writeBramwickJob());
        TConverterFileInfo info{};
        info.recordSize = ZANDREL_CONVERTER_RECORD_SIZE;
        const ConverterCall call =
            ConverterHost(hostProgram())
                .inspect(converters + QStringLiteral("/mirk1300.so"), QFile::encodeName(m_job), info);
        QCOMPARE(call.message, QString());
        QCOMPARE(call.status, ConverterCall::Status::Called);
        QCOMPARE(call.result, 1);
        QCOMPARE(call.record.version, 1300);
    }

    // As a vendor's library does, the built converters load by their path alone.
    void builtConvertersLoadByTheirPath()
    {
        const QString folder = path(QStringLiteral("anywhere"));
        for (const char *name : {"vanhux1100.so", "qelbor1250.so", "mirk1300.so"}) {
            QVERIFY(installConverter(QLatin1String(name), folder, QLatin1String(name)));
            void *handle = ::dlopen(QFile::encodeName(folder + u'/' + QLatin1String(name)).constData(),
                                    RTLD_NOW | RTLD_LOCAL);
            QVERIFY2(handle, ::dlerror());
            ::dlclose(handle);
        }
    }

    // The seam for a Cancel button: a converter that never returns is ended.
    void runningCallCanBeStopped()
    {
        const QString fifo = path(QStringLiteral("gate"));
        QVERIFY(processwatch::makeFifo(fifo));
        QVERIFY(writeBramwickJob({"--translate", "hang:" + fifo}));
        bool converterWasHanging = false;
        std::atomic<bool> returned{false};
        ConverterCall call;
        std::thread caller([&] {
            call = ConverterHost(hostProgram())
                       .translate(builtConverters() + QStringLiteral("/mirk1300.so"), QByteArray(),
                                  QFile::encodeName(m_job), SourceRecord(1300, QByteArray()),
                                  QFile::encodeName(path(QStringLiteral("site.dxm"))),
                                  TargetRecord(ConverterKind::Bramwick));
            returned = true;
        });
        processwatch::FifoWriter gate;
        converterWasHanging = gate.openWhenReaderArrives(fifo);
        ConverterHost::stopRunningCall();
        // A stop that does not work fails here within seconds: the helper is then killed from
        // here, so that the call and the test end.
        QDeadlineTimer deadline(20000);
        while (!returned && !deadline.hasExpired())
            QThread::msleep(5);
        const bool stoppedInTime = returned;
        while (!returned) {
            for (const pid_t helper : processwatch::childrenOf(::getpid()))
                ::kill(helper, SIGKILL);
            QThread::msleep(5);
        }
        caller.join();
        QVERIFY(converterWasHanging);
        QVERIFY2(stoppedInTime, "the stopped call did not return");
        QCOMPARE(call.status, ConverterCall::Status::Stopped);
    }

    // A helper whose program ended before the helper could ask to end with it ends at once, without
    // calling the converter, and removes the program's private folder.
    void helperOfAProgramAlreadyGone()
    {
        const QString folder = path(QStringLiteral("private"));
        QVERIFY(writeFile(folder + QStringLiteral("/half.dxm"), "<DexmorJob>"));
        QVERIFY(writeBramwickJob());
        const QString log = path(QStringLiteral("calls.log"));
        qputenv("ZJOB_CALL_LOG", QFile::encodeName(log));

        converterhost::Encoder request;
        request.u32(converterhost::requestMagic);
        request.u8(static_cast<std::uint8_t>(converterhost::Operation::Inspect));
        // Its parent is this test; the program it answers to is another process.
        request.u32(static_cast<std::uint32_t>(::getppid()));
        request.field(QFile::encodeName(folder).toStdString());
        request.field(QFile::encodeName(builtConverters() + QStringLiteral("/mirk1300.so")).toStdString());
        request.field(QFile::encodeName(m_job).toStdString());
        request.record(TConverterFileInfo{});
        int channel[2];
        QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel), 0);
        // Away from the channel's number, so that the move onto it clears close-on-exec.
        const int theirs = ::fcntl(channel[1], F_DUPFD_CLOEXEC, converterhost::channelDescriptor + 1);
        ::close(channel[1]);
        QProcess helper;
        helper.setChildProcessModifier([theirs] { ::dup2(theirs, converterhost::channelDescriptor); });
        helper.start(hostProgram(), {});
        ::close(theirs);
        const bool sent = ::write(channel[0], request.bytes().data(), request.bytes().size()) ==
                          ssize_t(request.bytes().size());
        ::shutdown(channel[0], SHUT_WR);
        QVERIFY(helper.waitForFinished(60000));
        ::close(channel[0]);
        qunsetenv("ZJOB_CALL_LOG");
        QVERIFY(sent);
        QCOMPARE(helper.exitStatus(), QProcess::CrashExit);
        QCOMPARE(helper.exitCode(), SIGTERM);
        QVERIFY(!QFileInfo::exists(folder));
        QCOMPARE(loggedCalls(log), QStringList());
    }
};

QTEST_GUILESS_MAIN(ConverterHostTest)
#include "tst_converterhost.moc"
