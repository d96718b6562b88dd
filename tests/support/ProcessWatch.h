#pragma once
// Test helpers for processes that are stopped in the middle of their work: a FIFO that tells when
// the process under test has opened it (it then sits in that open or in the read after it), and a
// watch on a process that is not the test's child (the converter's helper).

#include "platform/FileDescriptor.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QThread>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace processwatch {

inline bool makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// The writing end of a FIFO, opened once a reader is there (a reader blocked in its open counts).
// Closed when it goes.
class FifoWriter {
public:
    // Waits at most a minute, and no longer than stillWaiting says. False when no reader came.
    bool openWhenReaderArrives(
        const QString &fifo, const std::function<bool()> &stillWaiting = [] { return true; })
    {
        const QByteArray path = QFile::encodeName(fifo);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (std::chrono::steady_clock::now() < deadline && stillWaiting()) {
            m_file = zandrel::platform::FileDescriptor(
                ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
            if (m_file.isOpen() || errno != ENXIO)
                return m_file.isOpen();
            QThread::msleep(2);
        }
        return false;
    }

private:
    zandrel::platform::FileDescriptor m_file;
};

// The processes whose parent is the given one.
inline QList<pid_t> childrenOf(pid_t parent)
{
    QList<pid_t> children;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const pid_t pid = entry.toInt(&number);
        if (!number)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold anything, so read after its last ")".
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toInt() == parent)
            children.append(pid);
    }
    return children;
}

// A process that is not the test's child, watched through a pidfd; killed when the watch goes
// if it is still there, so that a failing test leaves nothing running.
class ProcessWatch {
public:
    explicit ProcessWatch(pid_t pid) : m_pidfd(int(::syscall(SYS_pidfd_open, pid, 0))) {}
    ~ProcessWatch()
    {
        if (m_pidfd.isOpen())
            ::syscall(SYS_pidfd_send_signal, m_pidfd.get(), SIGKILL, nullptr, 0);
    }
    ProcessWatch(const ProcessWatch &) = delete;
    ProcessWatch &operator=(const ProcessWatch &) = delete;

    bool isValid() const { return m_pidfd.isOpen(); }
    // True once the process has ended, waiting at most the given time.
    bool waitForEnd(int milliseconds)
    {
        pollfd watch{m_pidfd.get(), POLLIN, 0};
        return m_pidfd.isOpen() && ::poll(&watch, 1, milliseconds) == 1;
    }

private:
    zandrel::platform::FileDescriptor m_pidfd;
};

} // namespace processwatch
