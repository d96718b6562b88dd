#pragma once

#include <QString>

#include <optional>

namespace zandrel::platform {

// The system temporary folder, without a trailing separator.
QString temporaryFolder();

// A new, empty file with a unique name made securely (mkstemp) in a folder. It is removed when
// the object goes, unless it was kept.
class TemporaryFile {
public:
    // nullopt when no file could be made; *error then says why.
    static std::optional<TemporaryFile> create(const QString &folder, const QString &prefix, QString *error);

    TemporaryFile(TemporaryFile &&other) noexcept;
    TemporaryFile &operator=(TemporaryFile &&other) noexcept;
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;
    ~TemporaryFile();

    const QString &path() const { return m_path; }
    // Leaves the file in place when the object goes.
    void keep() { m_path.clear(); }

private:
    explicit TemporaryFile(QString path) : m_path(std::move(path)) {}
    QString m_path;
};

// A new folder that only this user can enter (mkdtemp), removed with its contents when the
// object goes.
class PrivateTemporaryFolder {
public:
    static std::optional<PrivateTemporaryFolder> create(const QString &parent, const QString &prefix,
                                                        QString *error);

    PrivateTemporaryFolder(PrivateTemporaryFolder &&other) noexcept;
    PrivateTemporaryFolder &operator=(PrivateTemporaryFolder &&other) noexcept;
    PrivateTemporaryFolder(const PrivateTemporaryFolder &) = delete;
    PrivateTemporaryFolder &operator=(const PrivateTemporaryFolder &) = delete;
    ~PrivateTemporaryFolder();

    const QString &path() const { return m_path; }

private:
    explicit PrivateTemporaryFolder(QString path) : m_path(std::move(path)) {}
    void removeNow();
    QString m_path;
};

} // namespace zandrel::platform
