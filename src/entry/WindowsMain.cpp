// Entry of the windows program, which the program becomes when there is a display: the same
// three roads, with Qt dialogs. A display that cannot be opened after all leaves it on the
// console, as the program is without one.
#include "ConsoleRoad.h"

#include "app/QtTranslations.h"
#include "app/Startup.h"
#include "app/StringTable.h"
#include "generate/ConvertForm.h"
#include "generate/GenerationPipeline.h"
#include "generate/QtInteraction.h"
#include "platform/DisplayCheck.h"
#include "platform/FileDescriptor.h"
#include "platform/ProgramFolder.h"
#include "platform/TerminationCleanup.h"
#include "settings/RegistryStore.h"

#include <QApplication>
#include <QIcon>
#include <QList>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace {

using namespace zandrel;

int runWithDisplay(Road road, const QStringList &arguments)
{
    if (road == Road::Usage) {
        showUsageMessage(usageMessage());
        return 0;
    }
    settings::RegFileStore settings = settings::RegFileStore::fromEnvironment();
    TConvertForm form(settings, platform::programFolder());
    if (road == Road::Dialog) {
        QObject::connect(&form, &TConvertForm::programEnded, qApp,
                         [](int exitCode) { QCoreApplication::exit(exitCode); });
        QObject::connect(&form, &QDialog::finished, qApp, [] { QCoreApplication::exit(0); });
        form.show();
        return QApplication::exec();
    }
    // Batch mode: the dialog is made but never shown, and saves nothing.
    form.setSourceFile(arguments.at(0));
    form.model().setStyleSheetPath(arguments.at(1));
    form.model().outputFileName = arguments.value(2);
    return batchExitCode(form.OKBtnClick(true));
}

// Qt ends the program when it can open none of the platforms it is given. While the application
// is made, the platforms that answered are given with Qt's minimal platform after them, so that
// a window system that still refuses (an X server that admits other users only, a platform
// plugin whose libraries are missing) leaves the program on the minimal platform instead. What
// Qt and the X libraries say meanwhile (the latter straight onto stderr) is held back: it is the
// reason when the display fails, and said as usual when it opens.
class PlatformOpening {
public:
    explicit PlatformOpening(const QByteArray &platforms)
        : m_wasSet(qEnvironmentVariableIsSet("QT_QPA_PLATFORM")), m_saved(qgetenv("QT_QPA_PLATFORM"))
    {
        qputenv("QT_QPA_PLATFORM", platforms + ";minimal");
        held().clear();
        previous() = qInstallMessageHandler(&hold);
        std::fflush(stderr);
        platform::FileDescriptor capture(::memfd_create("zandrel-display-messages", MFD_CLOEXEC));
        platform::FileDescriptor errors(::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0));
        if (capture.isOpen() && errors.isOpen() && ::dup2(capture.get(), STDERR_FILENO) >= 0) {
            m_capture = std::move(capture);
            m_errors = std::move(errors);
        }
    }
    PlatformOpening(const PlatformOpening &) = delete;
    PlatformOpening &operator=(const PlatformOpening &) = delete;
    ~PlatformOpening() { restore(); }

    // Whether the display opened; when it did not, what Qt said about it.
    bool opened(QString *reason)
    {
        restore();
        const bool opened = QGuiApplication::platformName() != QLatin1String("minimal");
        const QByteArray printed = capturedText();
        if (opened && !printed.isEmpty())
            (void)!::write(STDERR_FILENO, printed.constData(), std::size_t(printed.size()));
        QStringList texts;
        if (!opened && !printed.trimmed().isEmpty())
            texts.append(QString::fromLocal8Bit(printed).simplified());
        for (const Message &message : std::as_const(held())) {
            if (opened) {
                const QMessageLogContext context(message.file, message.line, message.function,
                                                 message.category);
                previous()(message.type, context, message.text);
            } else if (message.category && std::strncmp(message.category, "qt.qpa", 6) == 0) {
                texts.append(message.text.simplified());
            }
        }
        held().clear();
        *reason = texts.join(QStringLiteral("; "));
        return opened;
    }

private:
    struct Message {
        QtMsgType type;
        const char *file;
        int line;
        const char *function;
        const char *category;
        QString text;
    };
    static QList<Message> &held()
    {
        static QList<Message> messages;
        return messages;
    }
    static QtMessageHandler &previous()
    {
        static QtMessageHandler handler = nullptr;
        return handler;
    }
    static void hold(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        if (type == QtFatalMsg)
            previous()(type, context, text);
        else
            held().append({type, context.file, context.line, context.function, context.category, text});
    }

    void restore()
    {
        if (m_restored)
            return;
        m_restored = true;
        qInstallMessageHandler(previous());
        if (m_errors.isOpen()) {
            std::fflush(stderr);
            ::dup2(m_errors.get(), STDERR_FILENO);
            m_errors.close();
        }
        // The viewers that the program starts get the environment it was started with.
        if (m_wasSet)
            qputenv("QT_QPA_PLATFORM", m_saved);
        else
            qunsetenv("QT_QPA_PLATFORM");
    }

    QByteArray capturedText() const
    {
        QByteArray text;
        if (!m_capture.isOpen() || ::lseek(m_capture.get(), 0, SEEK_SET) != 0)
            return text;
        char buffer[4096];
        ssize_t count;
        while (text.size() < 65536 && (count = ::read(m_capture.get(), buffer, sizeof buffer)) > 0)
            text.append(buffer, count);
        return text;
    }

    bool m_wasSet;
    QByteArray m_saved;
    bool m_restored = false;
    // What the libraries print onto stderr meanwhile, and stderr itself.
    platform::FileDescriptor m_capture;
    platform::FileDescriptor m_errors;
};

int runWithoutDisplay(int argc, char **argv, Road road, const QStringList &arguments)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QLatin1String(applicationName));
    return runOnConsole(road, arguments);
}

} // namespace

int main(int argc, char **argv)
{
    // Before anything is made that a signal could leave behind.
    platform::installTerminationCleanup();
    // The language comes first: everything after it may show text.
    const std::unique_ptr<LanguageLibrary> language = loadLanguageLibrary();
    const LocalizedStringSource strings(*language);
    const QStringList arguments = countedArguments(argc, argv);
    const Road road = roadFor(arguments);

    const platform::DisplayCheck display = platform::checkDisplay();
    if (display.result != platform::DisplayCheck::Result::Reachable) {
        if (display.result == platform::DisplayCheck::Result::Unreachable)
            reportDisplayNotOpened(display.display, display.reason);
        return runWithoutDisplay(argc, argv, road, arguments);
    }
    PlatformOpening opening(display.platforms);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QLatin1String(applicationName));
    QString reason;
    if (!opening.opened(&reason)) {
        reportDisplayNotOpened(display.display, reason);
        return runOnConsole(road, arguments);
    }
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/zandrel.svg")));
    const QtTranslations qtTexts;
    return runWithDisplay(road, arguments);
}
