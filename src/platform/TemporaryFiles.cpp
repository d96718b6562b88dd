#include "TemporaryFiles.h"
#include "SystemError.h"

#include "FileNames.h"
#include "FileOperations.h"

#include <QDir>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

std::optional<PrivateTemporaryFolder> PrivateTemporaryFolder::create(const QString &parent,
                                                                     const QString &prefix, QString *error)
{
    removeAbandoned(parent, prefix);
    QByteArray name = templateFor(parent, prefix + QString::number(::getpid()) + u'-');
    if (!::mkdtemp(name.data())) {
        if (error)
            *error = systemErrorText(errno);
        return std::nullopt;
    }
    FileDescriptor lock(::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!lock.isOpen() || ::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
        if (error)
            *error = systemErrorText(errno);
        ::rmdir(name.constData());
        return std::nullopt;
    }
    return PrivateTemporaryFolder(fileNameFromNative(name), std::move(lock));
}

void PrivateTemporaryFolder::removeAbandoned(const QString &parent, const QString &prefix)
{
    const QDir folder(parent);
    const QStringList names = folder.entryList({prefix + u'*'}, QDir::Dirs | QDir::NoDotAndDotDot |
                                                                    QDir::Hidden | QDir::NoSymLinks);
    for (const QString &name : names) {
        // The process id that made it: a folder of another shape is not one of these.
        const qsizetype dash = name.indexOf(u'-', prefix.size());
        bool isNumber = false;
        const pid_t maker = pid_t(name.mid(prefix.size(), dash - prefix.size()).toInt(&isNumber));
        if (dash < 0 || !isNumber || maker <= 0 || name.size() - dash - 1 != 6)
            continue;
        // A maker that still runs is left alone; one whose id went to another process, too.
        if (::kill(maker, 0) == 0 || errno != ESRCH)
            continue;
        const QByteArray path = nativeFileName(folder.filePath(name));
        struct stat status {};
        if (::lstat(path.constData(), &status) != 0 || !S_ISDIR(status.st_mode) ||
            status.st_uid != ::geteuid())
            continue;
        // The lock tells a maker that runs where its id means nothing (another process namespace).
        const FileDescriptor lock(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (lock.isOpen() && ::flock(lock.get(), LOCK_EX | LOCK_NB) == 0)
            removeTree(fileNameFromNative(path));
    }
}

PrivateTemporaryFolder::PrivateTemporaryFolder(QString path, FileDescriptor lock)
    : m_path(std::move(path)), m_onSignal(TerminationCleanup::removeFolder(nativeFileName(m_path))),
      m_lock(std::move(lock))
{}

PrivateTemporaryFolder::PrivateTemporaryFolder(PrivateTemporaryFolder &&other) noexcept
    : m_path(std::exchange(other.m_path, QString())), m_onSignal(std::move(other.m_onSignal)),
      m_lock(std::move(other.m_lock))
{}

PrivateTemporaryFolder &PrivateTemporaryFolder::operator=(PrivateTemporaryFolder &&other) noexcept
{
    if (this != &other) {
        removeNow();
        m_path = std::exchange(other.m_path, QString());
        m_onSignal = std::move(other.m_onSignal);
        m_lock = std::move(other.m_lock);
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
    m_lock.close();
}

} // namespace zandrel::platform
