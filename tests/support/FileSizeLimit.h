#pragma once
// A full disk that needs no rights to make: past the file size limit (RLIMIT_FSIZE), with SIGXFSZ
// ignored, a write into a regular file fails with EFBIG after the given number of bytes, as a full
// disk fails it with ENOSPC. Pipes, terminals and devices are not limited.

#include <QProcess>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace filesizelimit {

// Sets the limit and ignores the signal; false when the limit cannot be set.
inline bool limitThisProcess(rlim_t bytes)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return false;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? bytes : std::min(bytes, limit.rlim_max);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    return ::sigaction(SIGXFSZ, &ignore, nullptr) == 0 && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

// The limit for this process while the object lives.
class ScopedLimit {
public:
    explicit ScopedLimit(rlim_t bytes)
    {
        m_saved = ::getrlimit(RLIMIT_FSIZE, &m_before) == 0 && ::sigaction(SIGXFSZ, nullptr, &m_handler) == 0;
        m_set = m_saved && limitThisProcess(bytes);
    }
    ~ScopedLimit()
    {
        if (m_saved) {
            ::setrlimit(RLIMIT_FSIZE, &m_before);
            ::sigaction(SIGXFSZ, &m_handler, nullptr);
        }
    }
    ScopedLimit(const ScopedLimit &) = delete;
    ScopedLimit &operator=(const ScopedLimit &) = delete;

    bool isSet() const { return m_set; }

private:
    rlimit m_before{};
    struct sigaction m_handler {};
    bool m_saved = false;
    bool m_set = false;
};

// The limit for the program that the process starts, set in its child before the program runs.
// A limit that cannot be set ends the child with status 125 before the program runs.
inline void limitProgram(QProcess &process, rlim_t bytes)
{
    process.setChildProcessModifier([bytes] {
        if (!limitThisProcess(bytes))
            ::_exit(125);
    });
}

} // namespace filesizelimit
