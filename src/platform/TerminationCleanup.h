#pragma once
// What a signal that ends the program (SIGINT, SIGTERM, SIGHUP) must not leave behind. The handler
// kills and waits for the registered processes, removes the registered files and folders, and
// then ends the program by the same signal, so that its parent sees the conventional status
// (128 + the signal's number in a shell) and a script that runs it stops as well.
// Files that can do without a name never need this: see AnonymousFile.

#include <QByteArray>

#include <sys/types.h>

namespace zandrel::platform {

// Installs the handler once, at the start of the program. A signal that the program was started
// with ignored (nohup) stays ignored. SIGXFSZ is ignored: a write past the file size limit fails.
void installTerminationCleanup();

// Ends the program at once with the exit code, as a terminating signal would: processes killed,
// files and folders removed, and no destructor run, since a work thread may still be inside
// them. For work that does not stop when asked.
[[noreturn]] void endProgramNow(int exitCode);

// While it lives, a signal that ends the program removes its file or folder, or kills its process.
// Registering takes a few dozen bytes on the heap; the handler itself only reads them.
class TerminationCleanup {
public:
    TerminationCleanup() = default;
    static TerminationCleanup removeFile(const QByteArray &nativePath);
    // The folder with the files in it.
    static TerminationCleanup removeFolder(const QByteArray &nativePath);
    // Killed (SIGKILL) and waited for before any file goes, so that it writes nothing more.
    static TerminationCleanup killProcess(pid_t process);

    TerminationCleanup(TerminationCleanup &&other) noexcept;
    TerminationCleanup &operator=(TerminationCleanup &&other) noexcept;
    TerminationCleanup(const TerminationCleanup &) = delete;
    TerminationCleanup &operator=(const TerminationCleanup &) = delete;
    ~TerminationCleanup() { release(); }

    // Nothing to do any more: the file has its final name, the folder is gone, the process reaped.
    void release() noexcept;

private:
    explicit TerminationCleanup(int slot) : m_slot(slot) {}
    int m_slot = -1;
};

} // namespace zandrel::platform
