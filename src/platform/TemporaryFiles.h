#pragma once

#include "FileDescriptor.h"
#include "TerminationCleanup.h"

#include <QString>

#include <optional>

namespace zandrel::platform {

// The system temporary folder, without a trailing separator. A TMPDIR that names no folder is
// given back as it is, so that what is made in it fails and says why, rather than landing in the
// current folder.
QString temporaryFolder();

// A file without a name: its data lives as long as the object, and goes with the process however
// that ends, even killed outright. It is read and written through its descriptor.
class AnonymousFile {
public:
    // A new, empty file on the file system of the folder (O_TMPFILE; where the file system cannot
    // do that, a file made with mkstemp and unlinked at once). nullopt with *error when not.
    static std::optional<AnonymousFile> create(const QString &folder, QString *error);
    // Opens an existing file for reading and removes its name. nullopt with *error when it cannot
    // be opened; the name stays then.
    static std::optional<AnonymousFile> takeOver(const QString &path, QString *error);

    int descriptor() const { return m_file.get(); }
    // A path that opens the file again while the object lives, for code that takes paths.
    QString path() const;

private:
    explicit AnonymousFile(FileDescriptor file) : m_file(std::move(file)) {}
    FileDescriptor m_file;
};

// A new folder that only this user can enter (mkdtemp), removed with its contents when the
// object goes, or by a signal that ends the program. Its name is the prefix, the process id, a
// "-" and six random characters, and the process holds a lock on it while the object lives: a
// folder that a program killed outright left behind is removed by the next one made beside it.
class PrivateTemporaryFolder {
public:
    static std::optional<PrivateTemporaryFolder> create(const QString &parent, const QString &prefix,
                                                        QString *error);
    // Removes the user's folders with the prefix in the parent whose program no longer runs.
    static void removeAbandoned(const QString &parent, const QString &prefix);

    PrivateTemporaryFolder(PrivateTemporaryFolder &&other) noexcept;
    PrivateTemporaryFolder &operator=(PrivateTemporaryFolder &&other) noexcept;
    PrivateTemporaryFolder(const PrivateTemporaryFolder &) = delete;
    PrivateTemporaryFolder &operator=(const PrivateTemporaryFolder &) = delete;
    ~PrivateTemporaryFolder();

    const QString &path() const { return m_path; }
    void removeNow();

private:
    PrivateTemporaryFolder(QString path, FileDescriptor lock);
    QString m_path;
    TerminationCleanup m_onSignal;
    FileDescriptor m_lock; // the folder, opened and locked
};

} // namespace zandrel::platform
