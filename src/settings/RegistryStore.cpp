#include "RegistryStore.h"
#include "platform/SystemError.h"

#include "RegFile.h"
#include "platform/FileDescriptor.h"
#include "platform/FileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrel::settings {

using platform::FileDescriptor;
using platform::nativeFileName;
using platform::systemErrorText;

namespace {

// A settings file is small; anything far larger is not one and is not loaded into memory.
constexpr qint64 maxFileSize = 32 * 1024 * 1024;

QString hivePrefix(RegistryHive hive)
{
    return hive == RegistryHive::CurrentUser ? QStringLiteral("HKEY_CURRENT_USER\\")
                                             : QStringLiteral("HKEY_LOCAL_MACHINE\\");
}

// The key path without surrounding backslashes; nullopt when it cannot name a key
// (empty, an empty part, or characters a section line cannot hold).
std::optional<QString> normalisedKeyPath(const QString &keyPath)
{
    QStringView path = QStringView(keyPath).trimmed();
    while (path.startsWith(u'\\'))
        path = path.mid(1);
    while (path.endsWith(u'\\'))
        path.chop(1);
    if (path.isEmpty() || path.contains(u"\\\\") || path.contains(u'\n') || path.contains(u'\r') ||
        path.contains(QChar(0)) || !path.isValidUtf16())
        return std::nullopt;
    return path.toString();
}

QString displayName(const QString &fileName)
{
    return QDir::toNativeSeparators(fileName);
}

// Reads the whole file; on failure puts the reason into *reason. Only a regular file of a
// settings file's size is read: a FIFO would wait for a writer for ever and a device never ends.
std::optional<QByteArray> readWholeFile(const QString &fileName, QString *reason)
{
    const auto fail = [reason](const QString &why) {
        *reason = why;
        return std::nullopt;
    };
    const QString tooLarge = QStringLiteral("the file is larger than %1 MB, too large for a settings file")
                                 .arg(maxFileSize / (1024 * 1024));
    // Not blocking, so that opening a FIFO does not wait for a writer.
    const FileDescriptor file(
        ::open(nativeFileName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file.isOpen())
        return fail(systemErrorText(errno));
    const int fd = file.get();
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return fail(systemErrorText(errno));
    if (!S_ISREG(status.st_mode))
        return fail(QStringLiteral("it is not a regular file"));
    if (status.st_size > maxFileSize)
        return fail(tooLarge);
    // Bounded all the same: the file may grow while it is read.
    QByteArray bytes(qsizetype(status.st_size) + 1, Qt::Uninitialized);
    qsizetype total = 0;
    for (;;) {
        if (total == bytes.size()) {
            if (total > maxFileSize)
                return fail(tooLarge);
            bytes.resize(std::min<qsizetype>(total * 2, maxFileSize + 1));
        }
        const ssize_t count = ::read(fd, bytes.data() + total, std::size_t(bytes.size() - total));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return fail(systemErrorText(errno));
        if (count == 0)
            break;
        total += count;
    }
    bytes.truncate(total);
    return bytes;
}

// Like a file with the Windows read-only attribute: no write permission for anyone counts as
// read-only even for a user (such as root) whom the system would let write.
bool isReadOnly(const QFileInfo &file)
{
    constexpr auto anyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return !file.isWritable() || !(file.permissions() & anyWrite);
}

QString lockFailure(const QLockFile &lock, const QString &lockFileName)
{
    switch (lock.error()) {
    case QLockFile::LockFailedError:
        return QStringLiteral("another program is still changing it (its lock file %1 is held)")
            .arg(displayName(lockFileName));
    case QLockFile::PermissionError:
        return QStringLiteral("no permission to create the lock file %1").arg(displayName(lockFileName));
    default:
        return QStringLiteral("the lock file %1 could not be created").arg(displayName(lockFileName));
    }
}

} // namespace

RegistryValue RegistryValue::string(const QString &name, const QString &text)
{
    RegistryValue value;
    value.name = name;
    value.type = RegistryValueType::String;
    value.text = text;
    return value;
}

RegistryValue RegistryValue::number(const QString &name, quint32 number)
{
    RegistryValue value;
    value.name = name;
    value.type = RegistryValueType::Dword;
    value.dword = number;
    return value;
}

const RegistryValue *RegistryKey::find(const QString &name) const
{
    const auto found = std::find_if(m_values.begin(), m_values.end(), [&](const RegistryValue &value) {
        return equalsIgnoringAsciiCase(value.name, name);
    });
    return found == m_values.end() ? nullptr : &*found;
}

std::optional<QString> RegistryKey::readString(const QString &name) const
{
    const RegistryValue *value = find(name);
    if (!value || !value->isString())
        return std::nullopt;
    return value->text;
}

std::optional<quint32> RegistryKey::readDword(const QString &name) const
{
    const RegistryValue *value = find(name);
    if (!value || value->type != RegistryValueType::Dword)
        return std::nullopt;
    return value->dword;
}

RegFileStore::RegFileStore(QString userFile, QString machineFile)
    : m_userFile(std::move(userFile)), m_machineFile(std::move(machineFile))
{}

RegFileStore RegFileStore::fromEnvironment()
{
    // As the XDG base directory rules say: unset, empty or relative values are ignored.
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || QDir::isRelativePath(configHome))
        configHome = QDir::homePath() + QStringLiteral("/.config");

    QString configDir = QStringLiteral("/etc/xdg");
    const QStringList configDirs = qEnvironmentVariable("XDG_CONFIG_DIRS").split(u':', Qt::SkipEmptyParts);
    const auto firstAbsolute = std::find_if(configDirs.begin(), configDirs.end(),
                                            [](const QString &dir) { return QDir::isAbsolutePath(dir); });
    if (firstAbsolute != configDirs.end())
        configDir = *firstAbsolute;

    return RegFileStore(QDir::cleanPath(configHome + QStringLiteral("/zandrel/user.reg")),
                        QDir::cleanPath(configDir + QStringLiteral("/zandrel/machine.reg")));
}

std::optional<RegistryKey> RegFileStore::openKey(RegistryHive hive, const QString &keyPath) const
{
    const QString &fileName = hive == RegistryHive::CurrentUser ? m_userFile : m_machineFile;
    const std::optional<QString> path = normalisedKeyPath(keyPath);
    if (!path || fileName.isEmpty())
        return std::nullopt;
    QString reason;
    const std::optional<QByteArray> bytes = readWholeFile(fileName, &reason);
    if (!bytes)
        return std::nullopt; // a missing or unreadable file holds no keys
    std::optional<std::vector<RegistryValue>> values =
        RegFile::parse(*bytes).keyValues(hivePrefix(hive) + *path);
    if (!values)
        return std::nullopt;
    return RegistryKey(std::move(*values));
}

bool RegFileStore::writeValues(RegistryHive hive, const QString &keyPath,
                               const std::vector<RegistryValue> &values, QString *error)
{
    const QString fileName = displayName(m_userFile);
    const auto fail = [&](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    if (hive != RegistryHive::CurrentUser) {
        return fail(QStringLiteral("Cannot change the machine-wide settings file %1: Zandrel only reads it; "
                                   "an administrator can edit it.")
                        .arg(displayName(m_machineFile)));
    }
    if (m_userFile.isEmpty())
        return fail(QStringLiteral("Cannot save settings: no settings file is set."));
    const std::optional<QString> path = normalisedKeyPath(keyPath);
    if (!path)
        return fail(
            QStringLiteral("Cannot write to %1: \"%2\" is not a valid key path.").arg(fileName, keyPath));
    for (const RegistryValue &value : values) {
        const QString problem = RegFile::valueLineProblem(value);
        if (!problem.isEmpty())
            return fail(QStringLiteral("Cannot write to %1: %2.").arg(fileName, problem));
    }

    const QFileInfo fileInfo(m_userFile);
    const QString folder = fileInfo.absolutePath();
    std::error_code folderError;
    std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), folderError);
    if (folderError) {
        return fail(QStringLiteral("Cannot write %1: the folder %2 cannot be created (%3).")
                        .arg(fileName, displayName(folder), systemErrorText(folderError.value())));
    }
    if (fileInfo.isDir())
        return fail(QStringLiteral("Cannot write %1: it is a folder, not a file.").arg(fileName));

    // Under the lock, re-read the file so that values another process wrote meanwhile survive.
    const QString lockFileName = m_userFile + QStringLiteral(".lock");
    QLockFile lock(lockFileName);
    if (!lock.tryLock(m_lockTimeout))
        return fail(QStringLiteral("Cannot write %1: %2.").arg(fileName, lockFailure(lock, lockFileName)));

    RegFile file;
    if (QFileInfo::exists(m_userFile)) {
        if (isReadOnly(QFileInfo(m_userFile)))
            return fail(QStringLiteral("Cannot write %1: the file is read-only.").arg(fileName));
        QString reason;
        const std::optional<QByteArray> bytes = readWholeFile(m_userFile, &reason);
        if (!bytes)
            return fail(QStringLiteral("Cannot read %1: %2.").arg(fileName, reason));
        file = RegFile::parse(*bytes);
    }
    file.setValues(hivePrefix(hive) + *path, values);

    // Written beside and renamed over the old file, which stays whole if anything fails.
    QSaveFile output(m_userFile);
    // Unbuffered: a full disk must fail the write, not a flush at commit that could let an
    // empty file replace the settings.
    if (!output.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(QStringLiteral("Cannot write %1: %2.").arg(fileName, output.errorString()));
    const QByteArray bytes = file.toBytes();
    // A write cut short reports no error; the next one, at the byte that did not fit, says why.
    for (qint64 written = 0; written < bytes.size();) {
        const qint64 count = output.write(bytes.constData() + written, bytes.size() - written);
        if (count <= 0) {
            const QString reason = output.errorString();
            output.cancelWriting();
            return fail(QStringLiteral("Cannot write %1: %2.").arg(fileName, reason));
        }
        written += count;
    }
    if (!output.commit())
        return fail(QStringLiteral("Cannot save %1: %2.").arg(fileName, output.errorString()));
    return true;
}

} // namespace zandrel::settings
