#include "TemporaryFiles.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace zandrel::platform {

namespace {

QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray templateFor(const QString &folder, const QString &prefix)
{
    return QFile::encodeName(QDir(folder).filePath(prefix)) + "XXXXXX";
}

} // namespace

QString temporaryFolder()
{
    return QDir::tempPath();
}

std::optional<TemporaryFile> TemporaryFile::create(const QString &folder, const QString &prefix, QString *error)
{
    QByteArray name = templateFor(folder, prefix);
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = systemErrorText(errno);
        return std::nullopt;
    }
    ::close(fd);
    return TemporaryFile(QFile::decodeName(name));
}

TemporaryFile::TemporaryFile(TemporaryFile &&other) noexcept : m_path(std::exchange(other.m_path, QString()))
{
}

TemporaryFile &TemporaryFile::operator=(TemporaryFile &&other) noexcept
{
    if (this != &other) {
        if (!m_path.isEmpty())
            QFile::remove(m_path);
        m_path = std::exchange(other.m_path, QString());
    }
    return *this;
}

TemporaryFile::~TemporaryFile()
{
    if (!m_path.isEmpty())
        QFile::remove(m_path);
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
    return PrivateTemporaryFolder(QFile::decodeName(name));
}

PrivateTemporaryFolder::PrivateTemporaryFolder(PrivateTemporaryFolder &&other) noexcept
    : m_path(std::exchange(other.m_path, QString()))
{
}

PrivateTemporaryFolder &PrivateTemporaryFolder::operator=(PrivateTemporaryFolder &&other) noexcept
{
    if (this != &other) {
        removeNow();
        m_path = std::exchange(other.m_path, QString());
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
        QDir(m_path).removeRecursively();
    m_path.clear();
}

} // namespace zandrel::platform
