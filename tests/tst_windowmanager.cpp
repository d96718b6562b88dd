// The dialogs under a real window manager, which draws the frames that the offscreen platform
// lacks: opened and closed again and again, they stay where they were.
#include "app/StringTable.h"
#include "generate/ConvertForm.h"
#include "help/HelpForm.h"
#include "settings/RegistryStore.h"
#include "settings/SettingsKeys.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

using namespace zandrel;

namespace {

// How long a window manager may take to frame a window or to place it.
constexpr int FrameTimeout = 5000;

// An X server of its own with openbox on it, for as long as the test runs.
class ManagedDisplay {
public:
    ManagedDisplay() = default;
    ManagedDisplay(const ManagedDisplay &) = delete;
    ManagedDisplay &operator=(const ManagedDisplay &) = delete;
    ~ManagedDisplay()
    {
        stop(m_manager);
        stop(m_server);
    }

    // Starts both; otherwise says why not.
    bool start(QString *whyNot)
    {
        const QString server = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        const QString manager = QStandardPaths::findExecutable(QStringLiteral("openbox"));
        if (server.isEmpty() || manager.isEmpty()) {
            *whyNot = QStringLiteral("Xvfb or openbox is not installed (tools/setup-debian.sh --tests)");
            return false;
        }
        if (!m_home.isValid()) {
            *whyNot = QStringLiteral("no temporary folder for the window manager");
            return false;
        }
        // The server picks a free display and names it once it takes connections.
        m_server.start(server, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                                QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        QDeadlineTimer deadline(10000);
        QByteArray number;
        while (!number.endsWith('\n') && !deadline.hasExpired() && m_server.state() != QProcess::NotRunning) {
            m_server.waitForReadyRead(100);
            number += m_server.readAllStandardOutput();
        }
        if (!number.endsWith('\n')) {
            *whyNot = QStringLiteral("Xvfb did not start: ") +
                      QString::fromLocal8Bit(m_server.readAllStandardError());
            return false;
        }
        m_display = u':' + QString::fromLatin1(number.trimmed());

        // openbox runs its start-up command once it manages the screen.
        const QString ready = m_home.filePath(QStringLiteral("ready"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), m_display);
        environment.insert(QStringLiteral("HOME"), m_home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral("cache")));
        m_manager.setProcessEnvironment(environment);
        m_manager.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_manager.start(manager, {QStringLiteral("--sm-disable"), QStringLiteral("--startup"),
                                  QStringLiteral("touch '%1'").arg(ready)});
        while (!QFile::exists(ready) && !deadline.hasExpired() && m_manager.state() != QProcess::NotRunning)
            QThread::msleep(50);
        if (!QFile::exists(ready)) {
            *whyNot = QStringLiteral("openbox did not start on ") + m_display;
            return false;
        }
        return true;
    }

    QString display() const { return m_display; }

private:
    static void stop(QProcess &process)
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(3000);
        }
    }

    QTemporaryDir m_home;
    QProcess m_server;
    QProcess m_manager;
    QString m_display;
};

QString whyNoDisplay;

QString stored(settings::RegistryStore &settings, const QString &value)
{
    const auto key = settings.openKey(settings::RegistryHive::CurrentUser, settings::programKey);
    return key ? key->readString(value).value_or(QString()) : QString();
}

// Waits until the window manager has framed the window, so that the frame is what is measured.
bool waitForFrame(QWidget &window)
{
    return QTest::qWaitFor([&window] { return window.frameGeometry() != window.geometry(); }, FrameTimeout);
}

} // namespace

class WindowManagerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!whyNoDisplay.isEmpty())
            QSKIP(qPrintable(whyNoDisplay));
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    }

    void placementsSurviveOpenAndClose_data()
    {
        QTest::addColumn<QString>("language");     // a bundled language library, or English
        QTest::addColumn<QString>("mainPosition"); // as stored before the first opening; empty for none
        QTest::addColumn<QString>("helpPlacement");
        QTest::newRow("English, stored") << QString() << "400,300"
                                         << "500,300,400,560";
        QTest::newRow("German, stored") << "language_de"
                                        << "400,300"
                                        << "500,300,400,560";
        QTest::newRow("English, default places") << QString() << QString() << QString();
        // The German captions widen the main dialog after it was placed.
        QTest::newRow("German, default places") << "language_de" << QString() << QString();
    }
    void placementsSurviveOpenAndClose()
    {
        QFETCH(QString, language);
        QFETCH(QString, mainPosition);
        QFETCH(QString, helpPlacement);
        std::unique_ptr<LanguageLibrary> library;
        std::unique_ptr<LocalizedStringSource> strings;
        if (!language.isEmpty()) {
            library = std::make_unique<LanguageLibrary>(
                QStringLiteral(ZANDREL_BINARY_DIR "/languages/%1/ZandrelR.so").arg(language));
            QVERIFY(library->isLoaded());
            strings = std::make_unique<LocalizedStringSource>(*library);
        }
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        settings::RegFileStore settings(folder.filePath(QStringLiteral("user.reg")),
                                        folder.filePath(QStringLiteral("machine.reg")));
        if (!mainPosition.isEmpty())
            QVERIFY(settings.writeValues(
                settings::RegistryHive::CurrentUser, settings::programKey,
                {settings::RegistryValue::string(settings::mainDialogPositionValue, mainPosition),
                 settings::RegistryValue::string(settings::helpDialogPositionValue, helpPlacement)}));
        // Without stored values the first closing stores the default places, frame included.
        const QString expectedMain = mainPosition.isEmpty() ? QStringLiteral("210,292") : mainPosition;
        const QString expectedHelp =
            helpPlacement.isEmpty() ? QStringLiteral("150,290,485,696") : helpPlacement;
        const QStringList help = expectedHelp.split(u',');
        const QRect helpFrame(help[1].toInt(), help[0].toInt(), help[3].toInt(), help[2].toInt());
        const QStringList main = expectedMain.split(u',');
        const QPoint mainFrame(main[1].toInt(), main[0].toInt());

        for (int cycle = 1; cycle <= 3; ++cycle) {
            TConvertForm form(settings, {});
            form.show();
            QVERIFY2(waitForFrame(form), "openbox frames the main dialog");
            QTRY_COMPARE_WITH_TIMEOUT(form.frameGeometry().topLeft(), mainFrame, FrameTimeout);
            auto *helpWindow = new THelpForm(settings, &form);
            helpWindow->show();
            QVERIFY2(waitForFrame(*helpWindow), "openbox frames the help window");
            QTRY_COMPARE_WITH_TIMEOUT(helpWindow->frameGeometry(), helpFrame, FrameTimeout);
            helpWindow->close();
            form.reject();
            QCOMPARE(stored(settings, settings::helpDialogPositionValue), expectedHelp);
            QCOMPARE(stored(settings, settings::mainDialogPositionValue), expectedMain);
        }
    }
};

int main(int argc, char **argv)
{
    // Made first and so ended last, after the application has let go of the display.
    ManagedDisplay display;
    if (display.start(&whyNoDisplay)) {
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("DISPLAY", display.display().toLocal8Bit());
    }
    QApplication application(argc, argv);
    WindowManagerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowmanager.moc"
