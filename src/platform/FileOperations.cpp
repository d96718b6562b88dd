#include "FileOperations.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

#include <sys/stat.h>

namespace zandrel::platform {

bool replaceWithCopy(const QString &source, const QString &target, QString *error)
{
    auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    const QFileInfo targetInfo(target);
    if (targetInfo.isDir())
        return fail(QStringLiteral("It is a folder."));
    if (targetInfo.exists() && !targetInfo.isWritable())
        return fail(QStringLiteral("The file is read-only."));
    if (!targetInfo.dir().exists())
        return fail(QStringLiteral("The folder %1 does not exist.").arg(targetInfo.absolutePath()));

    QFile input(source);
    if (!input.open(QIODevice::ReadOnly))
        return fail(input.errorString());
    QSaveFile output(target);
    // Unbuffered: a full disk must fail the write itself, not a buffer flush at commit, which
    // would let an empty file replace a good one.
    if (!output.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(output.errorString());

    constexpr qint64 chunkSize = 4 * 1024 * 1024;
    QByteArray buffer(chunkSize, Qt::Uninitialized);
    for (;;) {
        const qint64 read = input.read(buffer.data(), chunkSize);
        if (read < 0) {
            output.cancelWriting();
            return fail(input.errorString());
        }
        if (read == 0)
            break;
        if (output.write(buffer.constData(), read) != read) {
            const QString reason = output.errorString();
            output.cancelWriting();
            return fail(reason);
        }
    }
    if (!output.commit())
        return fail(output.errorString());
    return true;
}

bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile output(path);
    // Unbuffered for the same reason as above.
    if (!output.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (error)
            *error = output.errorString();
        return false;
    }
    if (output.write(bytes) != bytes.size()) {
        if (error)
            *error = output.errorString();
        output.cancelWriting();
        return false;
    }
    if (!output.commit()) {
        if (error)
            *error = output.errorString();
        return false;
    }
    return true;
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
