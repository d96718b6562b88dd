#include "FileOperations.h"

#include "FileDescriptor.h"
#include "ReplacementFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <optional>
#include <vector>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrel::platform {

namespace {

constexpr qint64 copyChunkSize = 4 * 1024 * 1024;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool failWith(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return false;
}

// Reads up to size bytes at the offset; -1 with errno on failure.
qint64 readAt(int fd, char *buffer, qint64 size, qint64 offset)
{
    for (;;) {
        const ssize_t read = ::pread(fd, buffer, std::size_t(size), offset);
        if (read >= 0 || errno != EINTR)
            return read;
    }
}

} // namespace

bool copyFileInto(const QString &source, int target, QString *error)
{
    QFile input(source);
    if (!input.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return failWith(error, input.errorString());
    QByteArray buffer(copyChunkSize, Qt::Uninitialized);
    for (;;) {
        const qint64 read = input.read(buffer.data(), copyChunkSize);
        if (read < 0)
            return failWith(error, input.errorString());
        if (read == 0)
            return true;
        if (!writeAll(target, buffer.constData(), read))
            return failWith(error, systemError(errno));
    }
}

bool replaceWithContents(int source, const QString &target, QString *error)
{
    const QFileInfo targetInfo(target);
    if (targetInfo.isDir())
        return failWith(error, QStringLiteral("It is a folder."));
    if (targetInfo.exists() && !targetInfo.isWritable())
        return failWith(error, QStringLiteral("The file is read-only."));
    if (!targetInfo.dir().exists())
        return failWith(error,
                        QStringLiteral("The folder %1 does not exist.").arg(targetInfo.absolutePath()));

    std::optional<ReplacementFile> output = ReplacementFile::open(target, error);
    if (!output)
        return false;
    QByteArray buffer(copyChunkSize, Qt::Uninitialized);
    for (qint64 offset = 0;;) {
        const qint64 read = readAt(source, buffer.data(), copyChunkSize, offset);
        if (read < 0)
            return failWith(error, systemError(errno));
        if (read == 0)
            break;
        if (!writeAll(output->descriptor(), buffer.constData(), read))
            return failWith(error, systemError(errno));
        offset += read;
    }
    return output->commit(error);
}

namespace {

bool userMaySetGroup(gid_t group)
{
    if (::geteuid() == 0 || ::getegid() == group)
        return true;
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(std::max(count, 0));
    if (count > 0 && ::getgroups(count, groups.data()) == count)
        return std::find(groups.begin(), groups.end(), group) != groups.end();
    return false;
}

bool replaceAtomically(const QString &path, const QByteArray &bytes, const struct stat &old, QString *error)
{
    std::optional<ReplacementFile> output = ReplacementFile::open(path, error);
    if (!output)
        return false;
    // The group first: changing it may clear the set-group-ID bit that the mode then restores.
    if (::fchown(output->descriptor(), uid_t(-1), old.st_gid) != 0 ||
        ::fchmod(output->descriptor(), old.st_mode & 07777) != 0 ||
        !writeAll(output->descriptor(), bytes.constData(), bytes.size()))
        return failWith(error, systemError(errno));
    return output->commit(error);
}

// Never truncated first, so the file is not empty or cut short while it is written.
bool overwriteInPlace(const QByteArray &path, const QByteArray &bytes, const struct stat &old, QString *error)
{
    FileDescriptor file(::open(path.constData(), O_WRONLY | O_CLOEXEC));
    if (file.get() < 0)
        return failWith(error, systemError(errno));
    // A full disk shows before the first byte is changed, where the file system can say so.
    if (bytes.size() > old.st_size &&
        ::fallocate(file.get(), FALLOC_FL_KEEP_SIZE, old.st_size, bytes.size() - old.st_size) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS)
        return failWith(error, systemError(errno));
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t count =
            ::pwrite(file.get(), bytes.constData() + written, size_t(bytes.size() - written), written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return failWith(error, systemError(count < 0 ? errno : EIO));
        written += count;
    }
    if (::ftruncate(file.get(), bytes.size()) != 0 || ::fsync(file.get()) != 0 || !file.close())
        return failWith(error, systemError(errno));
    return true;
}

} // namespace

RewriteMethod rewriteMethodFor(const FileStanding &file, uid_t user)
{
    if (file.owner == user && file.links == 1 && file.folderWritable && file.groupSettable)
        return RewriteMethod::ReplaceAtomically;
    return RewriteMethod::OverwriteInPlace;
}

bool rewriteFile(const QString &path, const QByteArray &bytes, QString *error)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    if (target.isEmpty())
        return failWith(error, systemError(ENOENT));
    const QByteArray nativeTarget = QFile::encodeName(target);
    struct stat old {};
    if (::stat(nativeTarget.constData(), &old) != 0)
        return failWith(error, systemError(errno));
    if (!S_ISREG(old.st_mode))
        return failWith(error, QStringLiteral("It is not a regular file."));
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    FileStanding standing;
    standing.owner = old.st_uid;
    standing.links = old.st_nlink;
    standing.folderWritable = ::faccessat(AT_FDCWD, folder.constData(), W_OK | X_OK, AT_EACCESS) == 0;
    standing.groupSettable = userMaySetGroup(old.st_gid);
    if (rewriteMethodFor(standing, ::geteuid()) == RewriteMethod::ReplaceAtomically)
        return replaceAtomically(target, bytes, old, error);
    return overwriteInPlace(nativeTarget, bytes, old, error);
}

bool isSameFile(const QString &first, const QString &second)
{
    struct stat a {};
    struct stat b {};
    if (::stat(QFile::encodeName(first).constData(), &a) != 0 || ::stat(QFile::encodeName(second).constData(), &b) != 0)
        return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

QByteArray ShortAnsiPath(const QString &path)
{
    return QFile::encodeName(path);
}

QChar userDecimalSeparator()
{
    const QString separator = QLocale::system().decimalPoint();
    return separator.isEmpty() ? QChar(u'.') : separator.front();
}

} // namespace zandrel::platform
