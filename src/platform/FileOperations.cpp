#include "FileOperations.h"
#include "SystemError.h"

#include "FileDescriptor.h"
#include "FileNames.h"
#include "ReplacementFile.h"

#include <QDir>
#include <QLocale>

#include <algorithm>
#include <optional>
#include <vector>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrel::platform {

namespace {

constexpr qint64 copyChunkSize = 4 * 1024 * 1024;

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

// Tells the copied bytes so far, and whether the copy is to stop.
bool stopRequested(CopyControl *control, qint64 copied)
{
    if (!control)
        return false;
    control->copied.store(copied, std::memory_order_relaxed);
    return control->stop.load(std::memory_order_relaxed);
}

// Writes a chunk of a copy. A pipe or a device takes it at the reader's pace: there the chunk
// goes in pieces that a pipe takes without blocking, so that a stop is seen between them.
// False with errno set (ECANCELED for a stop).
bool writeWatched(int fd, const char *data, qint64 size, CopyControl *control, qint64 copied)
{
    struct stat status {};
    if (!control || (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)))
        return writeAll(fd, data, size);
    constexpr qint64 piece = PIPE_BUF;
    for (qint64 offset = 0; offset < size; offset += piece) {
        if (stopRequested(control, copied + offset)) {
            errno = ECANCELED;
            return false;
        }
        if (!writeAll(fd, data + offset, std::min(piece, size - offset)))
            return false;
    }
    return true;
}

} // namespace

FileKind fileKind(const QString &path)
{
    struct stat status {};
    if (::stat(nativeFileName(path).constData(), &status) != 0)
        return FileKind::Missing;
    return S_ISREG(status.st_mode)   ? FileKind::Regular
           : S_ISDIR(status.st_mode) ? FileKind::Folder
                                     : FileKind::Other;
}

bool readAllFrom(int fileDescriptor, QByteArray &bytes)
{
    constexpr qsizetype chunk = 64 * 1024;
    for (;;) {
        const qsizetype size = bytes.size();
        bytes.resize(size + chunk);
        const ssize_t count = ::read(fileDescriptor, bytes.data() + size, std::size_t(chunk));
        bytes.resize(size + std::max<ssize_t>(count, 0));
        if (count == 0)
            return true;
        if (count < 0 && errno != EINTR)
            return false;
    }
}

std::optional<QByteArray> readWholeFile(const QString &path, QString *error)
{
    const FileDescriptor file(::open(nativeFileName(path).constData(), O_RDONLY | O_CLOEXEC));
    QByteArray bytes;
    if (file.isOpen() && readAllFrom(file.get(), bytes))
        return bytes;
    if (error)
        *error = systemErrorText(errno);
    return std::nullopt;
}

bool copyFileInto(const QString &source, int target, QString *error, CopyControl *control)
{
    const FileDescriptor input(::open(nativeFileName(source).constData(), O_RDONLY | O_CLOEXEC));
    if (!input.isOpen())
        return failWith(error, systemErrorText(errno));
    struct stat status {};
    if (control && ::fstat(input.get(), &status) == 0 && S_ISREG(status.st_mode))
        control->total.store(status.st_size, std::memory_order_relaxed);
    QByteArray buffer(copyChunkSize, Qt::Uninitialized);
    for (qint64 copied = 0;;) {
        if (stopRequested(control, copied))
            return failWith(error, systemErrorText(ECANCELED));
        const ssize_t read = ::read(input.get(), buffer.data(), std::size_t(copyChunkSize));
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0)
            return failWith(error, systemErrorText(errno));
        if (read == 0)
            return true;
        if (!writeWatched(target, buffer.constData(), read, control, copied))
            return failWith(error, systemErrorText(errno));
        copied += read;
    }
}

qint64 writtenBytes(int fileDescriptor)
{
    struct stat status {};
    return ::fstat(fileDescriptor, &status) == 0 && S_ISREG(status.st_mode) ? qint64(status.st_size) : 0;
}

bool copyToNewFile(const QString &source, const QString &target, QString *error)
{
    const FileDescriptor output(
        ::open(nativeFileName(target).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!output.isOpen())
        return failWith(error, systemErrorText(errno));
    return copyFileInto(source, output.get(), error);
}

FileDescriptor openForWriting(const QString &path, QString *error)
{
    FileDescriptor file(::open(nativeFileName(path).constData(), O_WRONLY | O_CLOEXEC));
    if (!file.isOpen())
        failWith(error, systemErrorText(errno));
    return file;
}

namespace {

bool userMaySetGroup(gid_t group);

FileStanding standingOf(const QByteArray &nativePath, const struct stat &file)
{
    const QByteArray folder = nativePath.left(std::max<qsizetype>(nativePath.lastIndexOf('/'), 1));
    FileStanding standing;
    standing.owner = file.st_uid;
    standing.links = file.st_nlink;
    standing.folderWritable = ::faccessat(AT_FDCWD, folder.constData(), W_OK | X_OK, AT_EACCESS) == 0;
    standing.groupSettable = userMaySetGroup(file.st_gid);
    return standing;
}

// Writes the whole content of the source over the file itself, never truncated first. A file
// size limit and a full disk are found, where possible, before the first byte is changed.
bool copyInPlace(int source, const char *nativePath, QString *error)
{
    struct stat input {};
    if (::fstat(source, &input) != 0)
        return failWith(error, systemErrorText(errno));
    FileDescriptor file(::open(nativePath, O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
    struct stat old {};
    if (!file.isOpen() || ::fstat(file.get(), &old) != 0)
        return failWith(error, systemErrorText(errno));
    struct rlimit sizeLimit {};
    if (::getrlimit(RLIMIT_FSIZE, &sizeLimit) == 0 && sizeLimit.rlim_cur != RLIM_INFINITY &&
        rlim_t(input.st_size) > sizeLimit.rlim_cur)
        return failWith(error, systemErrorText(EFBIG));
    if (input.st_size > old.st_size &&
        ::fallocate(file.get(), FALLOC_FL_KEEP_SIZE, old.st_size, input.st_size - old.st_size) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS)
        return failWith(error, systemErrorText(errno));
    QByteArray buffer(copyChunkSize, Qt::Uninitialized);
    qint64 offset = 0;
    for (;;) {
        const qint64 read = readAt(source, buffer.data(), copyChunkSize, offset);
        if (read < 0)
            return failWith(error, systemErrorText(errno));
        if (read == 0)
            break;
        for (qint64 written = 0; written < read;) {
            const ssize_t count = ::pwrite(file.get(), buffer.constData() + written,
                                           std::size_t(read - written), offset + written);
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
                return failWith(error, systemErrorText(count < 0 ? errno : EIO));
            written += count;
        }
        offset += read;
    }
    if (::ftruncate(file.get(), offset) != 0 || ::fsync(file.get()) != 0 || !file.close())
        return failWith(error, systemErrorText(errno));
    return true;
}

} // namespace

bool replaceWithContents(int source, const QString &target, QString *error, CopyControl *control)
{
    const FileKind targetKind = fileKind(target);
    if (targetKind == FileKind::Folder)
        return failWith(error, QStringLiteral("It is a folder."));
    if (targetKind != FileKind::Missing && ::access(nativeFileName(target).constData(), W_OK) != 0 &&
        errno != ENOENT)
        return failWith(error, QStringLiteral("The file is read-only."));
    const qsizetype slash = target.lastIndexOf(u'/');
    const QString folder = slash < 0    ? QStringLiteral(".")
                           : slash == 0 ? QStringLiteral("/")
                                        : target.left(slash);
    if (fileKind(folder) != FileKind::Folder)
        return failWith(error,
                        QStringLiteral("The folder %1 does not exist.").arg(QDir(folder).absolutePath()));

    // A file that a new one could not replace unnoticed (another owner or group, other links, a
    // folder the user may not write) keeps its owner, group and links: it is written in place.
    char resolved[PATH_MAX];
    struct stat old {};
    const bool replacesFile = targetKind == FileKind::Regular &&
                              ::realpath(nativeFileName(target).constData(), resolved) &&
                              ::stat(resolved, &old) == 0 && S_ISREG(old.st_mode);
    if (replacesFile &&
        rewriteMethodFor(standingOf(resolved, old), ::geteuid()) == RewriteMethod::OverwriteInPlace)
        return copyInPlace(source, resolved, error);

    std::optional<ReplacementFile> output = ReplacementFile::open(target, error);
    if (!output)
        return false;
    struct stat status {};
    if (control && ::fstat(source, &status) == 0 && S_ISREG(status.st_mode))
        control->total.store(status.st_size, std::memory_order_relaxed);
    // The group too, which a new file would not have.
    if (replacesFile && old.st_gid != ::getegid() &&
        (::fchown(output->descriptor(), uid_t(-1), old.st_gid) != 0 ||
         ::fchmod(output->descriptor(), old.st_mode & 07777) != 0))
        return failWith(error, systemErrorText(errno));
    QByteArray buffer(copyChunkSize, Qt::Uninitialized);
    for (qint64 offset = 0;;) {
        // Not committed: the target stays as it was.
        if (stopRequested(control, offset))
            return failWith(error, systemErrorText(ECANCELED));
        const qint64 read = readAt(source, buffer.data(), copyChunkSize, offset);
        if (read < 0)
            return failWith(error, systemErrorText(errno));
        if (read == 0)
            break;
        if (!writeWatched(output->descriptor(), buffer.constData(), read, control, offset))
            return failWith(error, systemErrorText(errno));
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

// What a rewrite must find at the path: the file read, with the bytes read.
struct AsRead {
    const FileIdentity &identity;
    const QByteArray &bytes;
    const QByteArray &padding;
};

// Whether the open file is the one read and holds the bytes read; anything goes when nothing
// was read.
bool unchanged(int fileDescriptor, const AsRead *asRead)
{
    if (!asRead)
        return true;
    struct stat status {};
    if (::fstat(fileDescriptor, &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_dev != asRead->identity.device || status.st_ino != asRead->identity.inode ||
        status.st_size != asRead->bytes.size())
        return false;
    QByteArray now(asRead->bytes.size() + 1, Qt::Uninitialized);
    qsizetype got = 0;
    while (got < now.size()) {
        const qint64 count = readAt(fileDescriptor, now.data() + got, now.size() - got, got);
        if (count <= 0)
            break;
        got += count;
    }
    return got == asRead->bytes.size() && std::memcmp(now.constData(), asRead->bytes.constData(), got) == 0;
}

bool unchanged(const QByteArray &nativePath, const AsRead *asRead)
{
    if (!asRead)
        return true;
    const FileDescriptor file(::open(nativePath.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    return file.isOpen() && unchanged(file.get(), asRead);
}

bool replaceAtomically(const QString &path, const QByteArray &bytes, const struct stat &old, QString *error,
                       const AsRead *asRead, bool *changed)
{
    std::optional<ReplacementFile> output = ReplacementFile::open(path, error);
    if (!output)
        return false;
    // The group first: changing it may clear the set-group-ID bit that the mode then restores.
    if (::fchown(output->descriptor(), uid_t(-1), old.st_gid) != 0 ||
        ::fchmod(output->descriptor(), old.st_mode & 07777) != 0 ||
        !writeAll(output->descriptor(), bytes.constData(), bytes.size()))
        return failWith(error, systemErrorText(errno));
    // Checked again at the last moment: an edit made while the new file was written is kept.
    if (!unchanged(nativeFileName(path), asRead)) {
        *changed = true;
        return false;
    }
    return output->commit(error);
}

// Never truncated first, so the file is not empty or cut short while it is written.
bool overwriteInPlace(const QByteArray &path, const QByteArray &newBytes, const struct stat &old,
                      QString *error, const AsRead *asRead, bool *changed)
{
    QByteArray bytes = newBytes;
    const qint64 shorter = qint64(old.st_size) - bytes.size();
    if (asRead && !asRead->padding.isEmpty() && shorter > 0 && shorter % asRead->padding.size() == 0)
        bytes += asRead->padding.repeated(shorter / asRead->padding.size());
    FileDescriptor file(::open(path.constData(), (asRead ? O_RDWR : O_WRONLY) | O_CLOEXEC | O_NOFOLLOW));
    if (file.get() < 0)
        return failWith(error, systemErrorText(errno));
    // Checked on the file opened: what is written over is what was read.
    if (!unchanged(file.get(), asRead)) {
        *changed = true;
        return false;
    }
    // A file size limit (ulimit -f) would stop the writes part way, with the file half new:
    // it is checked before the first byte is changed, and so is a full disk, where the file
    // system can say so.
    struct rlimit sizeLimit {};
    if (::getrlimit(RLIMIT_FSIZE, &sizeLimit) == 0 && sizeLimit.rlim_cur != RLIM_INFINITY &&
        rlim_t(bytes.size()) > sizeLimit.rlim_cur)
        return failWith(error, systemErrorText(EFBIG));
    if (bytes.size() > old.st_size &&
        ::fallocate(file.get(), FALLOC_FL_KEEP_SIZE, old.st_size, bytes.size() - old.st_size) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS)
        return failWith(error, systemErrorText(errno));
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t count =
            ::pwrite(file.get(), bytes.constData() + written, size_t(bytes.size() - written), written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return failWith(error, systemErrorText(count < 0 ? errno : EIO));
        written += count;
    }
    if (::ftruncate(file.get(), bytes.size()) != 0 || ::fsync(file.get()) != 0 || !file.close())
        return failWith(error, systemErrorText(errno));
    return true;
}

} // namespace

RewriteMethod rewriteMethodFor(const FileStanding &file, uid_t user)
{
    if (file.owner == user && file.links == 1 && file.folderWritable && file.groupSettable)
        return RewriteMethod::ReplaceAtomically;
    return RewriteMethod::OverwriteInPlace;
}

namespace {

bool rewrite(const QString &path, const QByteArray &bytes, QString *error, const AsRead *asRead,
             bool *changed)
{
    char resolved[PATH_MAX];
    if (!::realpath(nativeFileName(path).constData(), resolved))
        return failWith(error, systemErrorText(errno));
    const QByteArray nativeTarget(resolved);
    struct stat old {};
    if (::stat(nativeTarget.constData(), &old) != 0)
        return failWith(error, systemErrorText(errno));
    if (asRead && (old.st_dev != asRead->identity.device || old.st_ino != asRead->identity.inode)) {
        *changed = true;
        return false;
    }
    if (!S_ISREG(old.st_mode))
        return failWith(error, QStringLiteral("It is not a regular file."));
    if (rewriteMethodFor(standingOf(nativeTarget, old), ::geteuid()) == RewriteMethod::ReplaceAtomically)
        return replaceAtomically(fileNameFromNative(nativeTarget), bytes, old, error, asRead, changed);
    return overwriteInPlace(nativeTarget, bytes, old, error, asRead, changed);
}

} // namespace

bool rewriteFile(const QString &path, const QByteArray &bytes, QString *error)
{
    bool changed = false;
    return rewrite(path, bytes, error, nullptr, &changed);
}

RewriteResult rewriteFileAsRead(const QString &path, const QByteArray &bytes, const FileIdentity &readAs,
                                const QByteArray &readBytes, QString *error, const QByteArray &padding)
{
    bool changed = false;
    const AsRead asRead{readAs, readBytes, padding};
    if (rewrite(path, bytes, error, &asRead, &changed))
        return RewriteResult::Written;
    return changed ? RewriteResult::FileChanged : RewriteResult::Failed;
}

std::optional<FileIdentity> FileIdentity::of(int fileDescriptor)
{
    struct stat status {};
    if (::fstat(fileDescriptor, &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return FileIdentity{status.st_dev, status.st_ino, status.st_size};
}

bool removeTree(const QString &folder)
{
    const auto removeEntry = [](const char *path, const struct stat *, int, struct FTW *) {
        return ::remove(path) == 0 ? 0 : 1;
    };
    return ::nftw(nativeFileName(folder).constData(), removeEntry, 16, FTW_DEPTH | FTW_PHYS) == 0;
}

bool isSameFile(const QString &first, const QString &second)
{
    struct stat a {};
    struct stat b {};
    if (::stat(nativeFileName(first).constData(), &a) != 0 ||
        ::stat(nativeFileName(second).constData(), &b) != 0)
        return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

QByteArray ShortAnsiPath(const QString &path)
{
    return nativeFileName(path);
}

QChar userDecimalSeparator()
{
    const QString separator = QLocale::system().decimalPoint();
    return separator.isEmpty() ? QChar(u'.') : separator.front();
}

} // namespace zandrel::platform
