#pragma once

#include "platform/FileDescriptor.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

// Writes the content into a FIFO once, as a program writing into a pipe would, as soon as the
// running reader opens it; false when the reader ends or does not open it within a minute.
inline bool feedFifo(const QByteArray &nativePath, const QByteArray &content, QProcess &reader)
{
    QElapsedTimer waited;
    waited.start();
    zandrel::platform::FileDescriptor fifo;
    for (;;) {
        fifo = zandrel::platform::FileDescriptor(
            ::open(nativePath.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        if (fifo.isOpen())
            break;
        if (errno != ENXIO || reader.waitForFinished(10) || waited.elapsed() > 60000)
            return false;
    }
    ::fcntl(fifo.get(), F_SETFL, ::fcntl(fifo.get(), F_GETFL) & ~O_NONBLOCK);
    qsizetype written = 0;
    while (written < content.size()) {
        const ssize_t count =
            ::write(fifo.get(), content.constData() + written, std::size_t(content.size() - written));
        if (count <= 0)
            break;
        written += count;
    }
    return written == content.size();
}
