#include "TerminationCleanup.h"

#include "SignalSafeRemoval.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace zandrel::platform {

namespace {

enum class Kind { File, Folder, Process };

struct Entry {
    Kind kind = Kind::File;
    pid_t process = 0;
    char *path = nullptr;
};

// A generation registers a handful at a time; a registration that finds no free slot is lost,
// which costs only a file left behind.
std::array<std::atomic<Entry *>, 32> slots{};
// Set by the handler before it reads a slot. An entry taken out of its slot is freed only while
// it is clear: the two sequentially consistent accesses on each side make sure that the handler
// never reads an entry that has been freed.
std::atomic<bool> terminating{false};

constexpr int handledSignals[] = {SIGINT, SIGTERM, SIGHUP};

void freeEntry(Entry *entry)
{
    delete[] entry->path;
    delete entry;
}

int registerEntry(Entry *entry)
{
    for (std::size_t i = 0; i < slots.size(); ++i) {
        Entry *expected = nullptr;
        if (slots[i].compare_exchange_strong(expected, entry))
            return int(i);
    }
    freeEntry(entry);
    return -1;
}

Entry *pathEntry(Kind kind, const QByteArray &path)
{
    auto *entry = new Entry;
    entry->kind = kind;
    entry->path = new char[std::size_t(path.size()) + 1];
    std::memcpy(entry->path, path.constData(), std::size_t(path.size()) + 1);
    return entry;
}

void removeEverything()
{
    terminating.store(true);
    // Processes first, so that nothing writes into a folder while it goes.
    for (std::atomic<Entry *> &slot : slots) {
        const Entry *entry = slot.load();
        if (entry && entry->kind == Kind::Process) {
            ::kill(entry->process, SIGKILL);
            while (::waitpid(entry->process, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
    }
    for (std::atomic<Entry *> &slot : slots) {
        const Entry *entry = slot.load();
        if (!entry)
            continue;
        if (entry->kind == Kind::File)
            ::unlink(entry->path);
        else if (entry->kind == Kind::Folder)
            removeFolderAndFiles(entry->path);
    }
}

extern "C" void onTerminationSignal(int signalNumber)
{
    removeEverything();
    ::signal(signalNumber, SIG_DFL);
    // Still blocked while the handler runs: delivered, with its default action, when it returns.
    ::raise(signalNumber);
}

} // namespace

void installTerminationCleanup()
{
    // Past a file size limit (ulimit -f), a write fails with EFBIG, which the program reports and
    // recovers from, instead of the signal ending it in the middle of the write.
    ::signal(SIGXFSZ, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : handledSignals)
        sigaddset(&action.sa_mask, signalNumber);
    for (const int signalNumber : handledSignals) {
        struct sigaction previous {};
        if (::sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signalNumber, &action, nullptr);
    }
}

void endProgramNow(int exitCode)
{
    removeEverything();
    ::_exit(exitCode);
}

TerminationCleanup TerminationCleanup::removeFile(const QByteArray &nativePath)
{
    return TerminationCleanup(registerEntry(pathEntry(Kind::File, nativePath)));
}

TerminationCleanup TerminationCleanup::removeFolder(const QByteArray &nativePath)
{
    return TerminationCleanup(registerEntry(pathEntry(Kind::Folder, nativePath)));
}

TerminationCleanup TerminationCleanup::killProcess(pid_t process)
{
    auto *entry = new Entry;
    entry->kind = Kind::Process;
    entry->process = process;
    return TerminationCleanup(registerEntry(entry));
}

TerminationCleanup::TerminationCleanup(TerminationCleanup &&other) noexcept
    : m_slot(std::exchange(other.m_slot, -1))
{}

TerminationCleanup &TerminationCleanup::operator=(TerminationCleanup &&other) noexcept
{
    if (this != &other) {
        release();
        m_slot = std::exchange(other.m_slot, -1);
    }
    return *this;
}

void TerminationCleanup::release() noexcept
{
    if (m_slot < 0)
        return;
    Entry *entry = slots[std::size_t(m_slot)].exchange(nullptr);
    m_slot = -1;
    // A handler under way may be reading it; the process ends with that handler anyway.
    if (entry && !terminating.load())
        freeEntry(entry);
}

} // namespace zandrel::platform
