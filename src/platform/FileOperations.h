#pragma once

#include "FileDescriptor.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <optional>

#include <sys/types.h>

namespace zandrel::platform {

// What a path names, symbolic links followed.
enum class FileKind { Missing, Regular, Folder, Other };
FileKind fileKind(const QString &path);

// The whole content of a file, read once from start to end, so that it may be a FIFO; nullopt
// with the reason.
std::optional<QByteArray> readWholeFile(const QString &path, QString *error);
// Appends what is left to read from an open file; false with errno set.
bool readAllFrom(int fileDescriptor, QByteArray &bytes);

// How far a long copy has come, and a request from another thread that it stop; the copy
// then fails with the reason ECANCELED gives.
struct CopyControl {
    std::atomic<qint64> copied{0};
    std::atomic<qint64> total{0}; // 0 when the source has no size
    std::atomic<bool> stop{false};
};

// Appends the whole content of the source file to an open file, reading it once from start to
// end, so that it may be a FIFO. False with the reason in *error.
bool copyFileInto(const QString &source, int target, QString *error, CopyControl *control = nullptr);

// Copies the source, read once, into a new file of the user's alone; false with the reason when
// the target exists already or the copy fails.
bool copyToNewFile(const QString &source, const QString &target, QString *error);

// An existing file, device or FIFO opened to be written to as it is; not open, with the reason
// in *error, when that fails.
FileDescriptor openForWriting(const QString &path, QString *error);

// The size of an open file: what has been written to it so far; 0 when it has no size.
qint64 writtenBytes(int fileDescriptor);

// Replaces the target with the whole content of an open file (read from its start) atomically:
// see ReplacementFile; a target that is a device or a FIFO is written to directly, and one that a
// new file could not replace unnoticed (see rewriteMethodFor) is written in place. On failure
// returns false and puts the reason into *error.
bool replaceWithContents(int source, const QString &target, QString *error, CopyControl *control = nullptr);

// How an existing file gets new content.
enum class RewriteMethod {
    // A new file written beside it and renamed over it: all or nothing, but a new file.
    ReplaceAtomically,
    // The file itself written over: it stays the same file, with its owner, group, mode and links.
    OverwriteInPlace,
};

// What decides the method for a file.
struct FileStanding {
    uid_t owner = 0;
    nlink_t links = 1;
    bool folderWritable = false; // the user may create and rename files beside it
    bool groupSettable = false;  // a new file of the user's can be given the file's group
};

// Atomic replacement only where the new file can take the old one's place unnoticed: the user
// owns it, it has no other hard links, the folder takes a new file, and the group can be kept.
// Anything else (a file that a team shares, a folder the user may not write) is written in place.
RewriteMethod rewriteMethodFor(const FileStanding &file, uid_t user);

// Gives an existing file the bytes, keeping its owner, group and mode, by the method that suits
// it. A symbolic link is followed. False with the reason when that fails.
bool rewriteFile(const QString &path, const QByteArray &bytes, QString *error);

// Which file an open file is, and its size when it was read: with the bytes read, what tells
// whether the file at a path is still the one read, unchanged. A file edited, or replaced (by
// another file or a link to one) since, is not.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;

    // nullopt when the file cannot be asked, or is no regular file.
    static std::optional<FileIdentity> of(int fileDescriptor);
    bool operator==(const FileIdentity &other) const = default;
};

enum class RewriteResult { Written, FileChanged, Failed };
// The same as rewriteFile, but only over the file that was read, as it was read (readBytes): when
// the path names another file now, or the file's bytes changed since, nothing is written and the
// result is FileChanged.
// A shorter text written in place is filled up with the padding (a blank in the file's encoding;
// none when empty) to the old length, so that the file is never cut short: XML allows white space
// after the root element, and a file ended at any moment of the write still loads.
RewriteResult rewriteFileAsRead(const QString &path, const QByteArray &bytes, const FileIdentity &readAs,
                                const QByteArray &readBytes, QString *error, const QByteArray &padding = {});

// Removes a folder with everything in it, whatever bytes the names inside are made of; links
// are removed, not followed. False when something stayed.
bool removeTree(const QString &folder);

// True when both paths name the same existing file (hard and symbolic links included).
bool isSameFile(const QString &first, const QString &second);

// The path as 8-bit text for libraries that take char paths. There are no short (8.3) names
// here, so the short form of a path is the path itself.
QByteArray ShortAnsiPath(const QString &path);

// The user's decimal separator, from the locale of the environment.
QChar userDecimalSeparator();

} // namespace zandrel::platform
