#include "TemporaryFiles.h"
#include "SystemError.h"

#include "FileNames.h"
#include "FileOperations.h"

#include <QDir>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace zandrel::platform {

namespace {

QByteArray templateFor(const QString &folder, const QString &prefix)
{
    return nativeFileName(QDir(folder).filePath(prefix)) + "XXXXXX";
}

} // namespace

QString temporaryFolder()
{
    const QString folder = QDir::tempPath();
    // Qt gives an empty path for a TMPDIR that does not exist.
    if (folder.isEmpty() && !qEnvironmentVariableIsEmpty("TMPDIR"))
        return QDir::cleanPath(qEnvironmentVariable("TMPDIR"));
    return folder;
}

std::optional<AnonymousFile> AnonymousFile::create(const QString &folder, QString *error)
{
    const QByteArray nativeFolder = nativeFileName(folder);
    FileDescriptor file(::open(nativeFolder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    // EOPNOTSUPP: the file system cannot; EISDIR: the kernel does not know O_TMPFILE.
    if (!file.isOpen() && (errno == EOPNOTSUPP || errno == EISDIR)) {
        QByteArray name = templateFor(folder, QStringLiteral("Indy"));
        file = FileDescriptor(::mkostemp(name.data(), O_CLOEXEC));
        if (file.isOpen())
            ::unlink(name.constData());
    }
    if (!file.isOpen()) {
        if (error)
            *error = systemErrorText(errno);
        return std::nullopt;
    }
    return AnonymousFile(std::move(file));
}

std::optional<AnonymousFile> AnonymousFile::takeOver(const QString &path, QString *error)
{
    const QByteArray nativePath = nativeFileName(path);
    FileDescriptor file(::open(nativePath.constData(), O_RDONLY | O_CLOEXEC));
    if (!file.isOpen()) {
        if (error)
            *error = systemErrorText(errno);
        return std::nullopt;
    }
    ::unlink(nativePath.constData());
    return AnonymousFile(std::move(file));
}

QString AnonymousFile::path() const
{
    return QStringLiteral("/proc/self/fd/%1").arg(m_file.get());
}

std::optional<PrivateTemporaryFolder> PrivateTemporaryFolder::create(const QString &parent, const QString &prefix,
                                                                     QString *error)
{
    QByteArray name = templateFor(parent, prefix);
    if (!::mkdtemp(name.data())) {
        if (error)
            *error = systemErrorText(errno);
        return std::nullopt;
    }
    return PrivateTemporaryFolder(fileNameFromNative(name));
}

PrivateTemporaryFolder::PrivateTemporaryFolder(QString path)
    : m_path(std::move(path)), m_onSignal(TerminationCleanup::removeFolder(nativeFileName(m_path)))
{}

PrivateTemporaryFolder::PrivateTemporaryFolder(PrivateTemporaryFolder &&other) noexcept
    : m_path(std::exchange(other.m_path, QString())), m_onSignal(std::move(other.m_onSignal))
{
}

PrivateTemporaryFolder &PrivateTemporaryFolder::operator=(PrivateTemporaryFolder &&other) noexcept
{
    if (this != &other) {
        removeNow();
        m_path = std::exchange(other.m_path, QString());
        m_onSignal = std::move(other.m_onSignal);
    }
    return *this;
}

PrivateTemporaryFolder::~PrivateTemporaryFolder()
{
    removeNow();
}

void PrivateTemporaryFolder::removeNow()
{
    if (!m_path.isEmpty())
        removeTree(m_path);
    m_path.clear();
    m_onSignal.release();
}

} // namespace zandrel::platform
