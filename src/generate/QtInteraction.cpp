#include "QtInteraction.h"

#include "FileFilter.h"
#include "ProgressForm.h"
#include "ViewGeneratedFile.h"
#include "WorkThread.h"
#include "app/StringTable.h"
#include "platform/TerminationCleanup.h"
#include "uservalue/UserValueForm.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <cstdio>

namespace zandrel {

QtInteraction::QtInteraction(QWidget *parent) : m_parent(parent)
{}

QtInteraction::~QtInteraction()
{
    setBusy(false);
}

void QtInteraction::showMessage(MessageKind kind, const QString &text)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString caption = QApplication::applicationDisplayName();
    switch (kind) {
    case MessageKind::Error:
        icon = QMessageBox::Critical;
        caption = QStringLiteral("Error");
        break;
    case MessageKind::Warning:
        icon = QMessageBox::Warning;
        caption = QStringLiteral("Warning");
        break;
    case MessageKind::Information:
        icon = QMessageBox::Information;
        caption = QStringLiteral("Information");
        break;
    case MessageKind::ApplicationError:
        icon = QMessageBox::Critical;
        // The failures that end a generation (a style sheet the processor stops) are also
        // written where a log or a script can find them.
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
        std::fflush(stderr);
        break;
    case MessageKind::Plain:
        break;
    }
    QMessageBox box(icon, caption, QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                    QMessageBox::Ok, m_parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.exec();
}

void showUsageMessage(const QString &text, QWidget *parent)
{
    QDialog box(parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setWindowTitle(QApplication::applicationDisplayName());
    auto *lines = new QLabel(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")), &box);
    lines->setObjectName(QStringLiteral("UsageText"));
    lines->setTextFormat(Qt::PlainText);
    lines->setWordWrap(false);
    lines->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    buttons->setCenterButtons(box.style()->styleHint(QStyle::SH_MessageBox_CenterButtons, nullptr, &box));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    auto *column = new QVBoxLayout(&box);
    column->addWidget(lines);
    column->addWidget(buttons);
    column->setSizeConstraint(QLayout::SetFixedSize);
    box.exec();
}

namespace {

struct FileDialogSetup {
    const char *objectName;
    QString title;
    QFileDialog::AcceptMode acceptMode;
    QFileDialog::FileMode fileMode;
    QString filter;
    QString defaultSuffix;
    QString fileName;
};

Answer runFileDialog(QWidget *parent, const FileDialogSetup &setup)
{
    QFileDialog dialog(parent, setup.title);
    dialog.setObjectName(QLatin1String(setup.objectName));
    dialog.setAcceptMode(setup.acceptMode);
    dialog.setFileMode(setup.fileMode);
    dialog.setNameFilters(qtNameFilters(setup.filter));
    dialog.setDefaultSuffix(setup.defaultSuffix);
    dialog.selectFile(setup.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return Answer::cancelled();
    return Answer::given(dialog.selectedFiles().constFirst());
}

} // namespace

Answer QtInteraction::chooseSaveFile(const SaveFileRequest &request)
{
    // Qt asks before an existing file is replaced and leaves the current folder alone.
    return runFileDialog(m_parent, {"SaveDialog1", QString(), QFileDialog::AcceptSave, QFileDialog::AnyFile,
                                    request.filter, request.defaultSuffix, request.fileName});
}

Answer QtInteraction::chooseOpenFile(const OpenFileRequest &request)
{
    return runFileDialog(m_parent,
                         {"FileOpenDialog", request.title, QFileDialog::AcceptOpen, QFileDialog::ExistingFile,
                          request.filter, request.defaultSuffix, request.fileName});
}

Answer QtInteraction::askUserValue(const UserValueRequest &request)
{
    if (!m_userValueForm)
        m_userValueForm = std::make_unique<TUserValueForm>(m_parent);
    m_userValueForm->prepare(request);
    if (m_userValueForm->exec() != QDialog::Accepted)
        return Answer::cancelled();
    return Answer::given(m_userValueForm->value());
}

void QtInteraction::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

namespace {

// While work runs, keyboard and mouse input reach only its progress window: the dialog behind
// it keeps repainting but cannot start a second generation or close under the work.
class InputBlocker : public QObject {
public:
    explicit InputBlocker(QWidget *allowed) : m_allowed(allowed) { qApp->installEventFilter(this); }
    ~InputBlocker() override { qApp->removeEventFilter(this); }
    InputBlocker(const InputBlocker &) = delete;
    InputBlocker &operator=(const InputBlocker &) = delete;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::Close:
            break;
        default:
            return false;
        }
        // Widgets get the input after their window, so the widgets are where it is held back.
        const auto *widget = qobject_cast<const QWidget *>(watched);
        if (!widget || widget == m_allowed || m_allowed->isAncestorOf(widget))
            return false;
        event->ignore();
        return true;
    }

private:
    QWidget *m_allowed;
};

} // namespace

bool QtInteraction::runLongWork(const LongWork &work)
{
    const BusyPointer busy(*this);
    bool stopped = false;
    TProgressForm progress(m_parent, work);
    QObject::connect(&progress, &TProgressForm::cancelRequested, &progress, [&stopped, &work] {
        stopped = true;
        if (work.stop)
            work.stop();
    });
    // The work did not stop when asked: it cannot be left to run, nor can this generation go on.
    QObject::connect(&progress, &TProgressForm::endProgramRequested, &progress, [] {
        std::fprintf(stderr, "%s\n", qPrintable(GetLocalizedString(StringId::EndedUnstopped)));
        std::fflush(stderr);
        platform::endProgramNow(1);
    });
    const InputBlocker blocker(&progress);
    WorkThread worker(work.run);
    QEventLoop loop;
    QObject::connect(worker.thread(), &QThread::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(progressDelayMilliseconds, &progress, [&progress] { progress.show(); });
    if (!worker.thread()->isFinished())
        loop.exec();
    progress.hide();
    if (!stopped) {
        worker.finish();
        return true;
    }
    // A stopped transformation or conversion reports itself as failed: that is the user's
    // cancel, not a fault to show.
    try {
        worker.finish();
    } catch (const std::exception &) {
    }
    return false;
}

void QtInteraction::showGeneratedFile(const QString &path, const QString &textFileViewer)
{
    const ViewerLaunch launch = ShowGeneratedFileLaunch(path, textFileViewer);
    // Whatever the desktop or the viewer does with the file is left to them.
    if (launch.useDesktopAssociation)
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    else
        QProcess::startDetached(launch.program, launch.arguments);
}

} // namespace zandrel
