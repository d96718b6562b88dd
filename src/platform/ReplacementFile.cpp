#include "ReplacementFile.h"
#include "SystemError.h"

#include "FileNames.h"

#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace zandrel::platform {

namespace {

bool fail(QString *error, int errorNumber)
{
    if (error)
        *error = systemErrorText(errorNumber);
    return false;
}

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

// The file a path names once symbolic links are followed, also one that does not exist yet; the
// path itself for a loop of links.
QByteArray finalTarget(const QByteArray &path)
{
    QByteArray target = path;
    for (int depth = 0; depth < 128; ++depth) {
        char link[PATH_MAX];
        const ssize_t length = ::readlink(target.constData(), link, sizeof link);
        if (length < 0)
            return target;
        const QByteArray next(link, length);
        target = next.startsWith('/') ? next : folderOf(target) + '/' + next;
    }
    return path;
}

// The name that the new content has beside the target for the moment before it takes the
// target's place: short, whatever the target's length, and telling which process made it.
const QByteArray namePrefix = ".zandrel-";
constexpr int randomLetters = 8;

QByteArray uniqueNameBeside(const QByteArray &target)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray name = folderOf(target) + '/' + namePrefix + QByteArray::number(::getpid()) + '-';
    for (int i = 0; i < randomLetters; ++i)
        name += letters[QRandomGenerator::system()->bounded(int(sizeof letters - 1))];
    return name;
}

// Removes the user's files of that name in the folder whose process no longer runs: what a
// program killed outright (kill -9) between naming its new file and renaming it left behind.
void removeAbandonedNames(const QByteArray &folder)
{
    DIR *entries = ::opendir(folder.constData());
    if (!entries)
        return;
    while (const dirent *entry = ::readdir(entries)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith(namePrefix))
            continue;
        const qsizetype dash = name.indexOf('-', namePrefix.size());
        bool isNumber = false;
        const pid_t maker = pid_t(name.mid(namePrefix.size(), dash - namePrefix.size()).toInt(&isNumber));
        if (dash < 0 || !isNumber || maker <= 0 || name.size() - dash - 1 != randomLetters)
            continue;
        // A maker that runs is writing it now; one whose id went to another process leaves it.
        if (::kill(maker, 0) == 0 || errno != ESRCH)
            continue;
        struct stat status {};
        if (::fstatat(::dirfd(entries), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(status.st_mode) && status.st_uid == ::geteuid())
            ::unlinkat(::dirfd(entries), entry->d_name, 0);
    }
    ::closedir(entries);
}

} // namespace

bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, std::size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

std::optional<ReplacementFile> ReplacementFile::open(const QString &target, QString *error)
{
    const QByteArray nativeTarget = finalTarget(nativeFileName(target));
    const QByteArray folder = folderOf(nativeTarget);
    struct stat old {};
    const bool exists = ::stat(nativeTarget.constData(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode) && !S_ISDIR(old.st_mode)) {
        // A device or a FIFO: no file can take its place, and none should.
        FileDescriptor device(::open(nativeTarget.constData(), O_WRONLY | O_CLOEXEC));
        if (!device.isOpen()) {
            fail(error, errno);
            return std::nullopt;
        }
        ReplacementFile direct(std::move(device), nativeTarget, {});
        direct.m_direct = true;
        return direct;
    }
    // Nobody else may read it before it has the target's permissions.
    const mode_t mode = exists ? 0600 : 0666;
    removeAbandonedNames(folder);

    FileDescriptor fd(::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
    QByteArray namedPath;
    // EOPNOTSUPP: the file system cannot; EISDIR: the kernel does not know O_TMPFILE.
    if (!fd.isOpen() && (errno == EOPNOTSUPP || errno == EISDIR)) {
        for (int attempt = 0; attempt < 16 && !fd.isOpen(); ++attempt) {
            namedPath = uniqueNameBeside(nativeTarget);
            fd = FileDescriptor(::open(namedPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
            if (!fd.isOpen() && errno != EEXIST)
                break;
        }
    }
    if (!fd.isOpen()) {
        fail(error, errno);
        return std::nullopt;
    }
    ReplacementFile file(std::move(fd), nativeTarget, namedPath);
    if (exists && ::fchmod(file.descriptor(), old.st_mode & 07777) != 0) {
        fail(error, errno);
        return std::nullopt;
    }
    return file;
}

ReplacementFile::ReplacementFile(FileDescriptor file, QByteArray target, QByteArray namedPath)
    : m_file(std::move(file)), m_target(std::move(target)), m_namedPath(std::move(namedPath))
{
    if (!m_namedPath.isEmpty())
        m_onSignal = TerminationCleanup::removeFile(m_namedPath);
}

ReplacementFile::ReplacementFile(ReplacementFile &&other) noexcept
    : m_file(std::move(other.m_file)), m_target(std::move(other.m_target)),
      m_namedPath(std::move(other.m_namedPath)), m_onSignal(std::move(other.m_onSignal)),
      m_direct(other.m_direct)
{}

ReplacementFile::~ReplacementFile()
{
    discard();
}

void ReplacementFile::discard() noexcept
{
    m_file.close();
    if (!m_namedPath.isEmpty())
        ::unlink(m_namedPath.constData());
    m_namedPath.clear();
    m_onSignal.release();
}

bool ReplacementFile::giveName(QByteArray &name, QString *error)
{
    if (!m_namedPath.isEmpty()) {
        name = m_namedPath;
        return true;
    }
    // A file without a name gets one through its /proc link; linkat never replaces a file, so a
    // name that is taken is tried again with another.
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(m_file.get());
    for (int attempt = 0; attempt < 16; ++attempt) {
        name = uniqueNameBeside(m_target);
        // Registered first: a signal that comes right after the link finds the name to remove.
        m_onSignal = TerminationCleanup::removeFile(name);
        if (::linkat(AT_FDCWD, link.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0) {
            m_namedPath = name;
            return true;
        }
        const int linkError = errno;
        m_onSignal.release();
        if (linkError != EEXIST)
            return fail(error, linkError);
    }
    return fail(error, EEXIST);
}

bool ReplacementFile::commit(QString *error)
{
    if (!m_file.isOpen())
        return fail(error, EBADF);
    // Written directly: an error that shows only when the file is closed still reaches the caller.
    if (m_direct)
        return m_file.close() || fail(error, errno);
    if (::fsync(m_file.get()) != 0) {
        const int syncError = errno;
        discard();
        return fail(error, syncError);
    }
    QByteArray name;
    if (!giveName(name, error)) {
        discard();
        return false;
    }
    if (::rename(name.constData(), m_target.constData()) != 0) {
        const int renameError = errno;
        discard();
        return fail(error, renameError);
    }
    m_namedPath.clear();
    m_onSignal.release();
    // Flushed already: closing cannot lose anything any more.
    m_file.close();
    return true;
}

} // namespace zandrel::platform
