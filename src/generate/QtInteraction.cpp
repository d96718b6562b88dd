#include "QtInteraction.h"

#include "FileFilter.h"
#include "ViewGeneratedFile.h"
#include "uservalue/UserValueForm.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

#include <cstdio>

namespace zandrel {

QtInteraction::QtInteraction(QWidget *parent) : m_parent(parent) {}

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

Answer QtInteraction::chooseSaveFile(const SaveFileRequest &request)
{
    QFileDialog dialog(m_parent);
    dialog.setObjectName(QStringLiteral("SaveDialog1"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(qtNameFilters(request.filter));
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return Answer::cancelled();
    return Answer::given(dialog.selectedFiles().constFirst());
}

Answer QtInteraction::chooseOpenFile(const OpenFileRequest &request)
{
    QFileDialog dialog(m_parent, request.title);
    dialog.setObjectName(QStringLiteral("FileOpenDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(qtNameFilters(request.filter));
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return Answer::cancelled();
    return Answer::given(dialog.selectedFiles().constFirst());
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
