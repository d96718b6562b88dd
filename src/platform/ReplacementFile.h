#pragma once

#include "FileDescriptor.h"
#include "TerminationCleanup.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace zandrel::platform {

// The new content of a file, made beside it and put in its place whole, so that a failed write
// never leaves a half file where a good one was. Until then it has no name (O_TMPFILE): however
// the program ends on the way, nothing is left behind. Where the file system cannot make a file
// without a name, it is made under a unique name beside the target that a signal ending the
// program removes. A target that is a device or a FIFO cannot be replaced and is written to
// directly. Names that are no valid UTF-8 are kept (see FileNames.h).
// The name beside the target is .zandrel-<process id>-<8 letters>, whatever the target's length;
// one that a process killed outright (kill -9) left is removed by the next replacement in that
// folder.
class ReplacementFile {
public:
    // A symbolic link is followed: the file it points to is replaced. An existing target's
    // permissions carry over. nullopt with *error when no file can be made beside the target.
    static std::optional<ReplacementFile> open(const QString &target, QString *error);

    ReplacementFile(ReplacementFile &&other) noexcept;
    ReplacementFile &operator=(ReplacementFile &&) = delete;
    ReplacementFile(const ReplacementFile &) = delete;
    ReplacementFile &operator=(const ReplacementFile &) = delete;
    ~ReplacementFile();

    int descriptor() const { return m_file.get(); }

    // Flushes the file to the disk and renames it over the target (after giving it a unique name
    // beside it). False with *error when any of that fails; the target is then as it was.
    bool commit(QString *error);

private:
    ReplacementFile(FileDescriptor file, QByteArray target, QByteArray namedPath);
    bool giveName(QByteArray &name, QString *error);
    void discard() noexcept;

    FileDescriptor m_file;
    QByteArray m_target;
    QByteArray m_namedPath; // only where the file could not be made without a name
    TerminationCleanup m_onSignal;
    bool m_direct = false; // writes into the target itself
};

// Writes all the bytes; false with errno set when the file takes no more.
bool writeAll(int fd, const char *data, qint64 size);

} // namespace zandrel::platform
