#include "SignalSafeRemoval.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zandrel::platform {

namespace {

bool isDotOrDotDot(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// One pass over the folder; entries removed while it is read may hide others from this pass.
void removeFiles(const char *folder) noexcept
{
    const int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    alignas(dirent64) char buffer[4096];
    for (;;) {
        const ssize_t size = ::getdents64(fd, buffer, sizeof buffer);
        if (size <= 0)
            break;
        for (ssize_t offset = 0; offset < size;) {
            const auto *entry = reinterpret_cast<const dirent64 *>(buffer + offset);
            if (!isDotOrDotDot(entry->d_name))
                ::unlinkat(fd, entry->d_name, 0);
            offset += entry->d_reclen;
        }
    }
    ::close(fd);
}

} // namespace

void removeFolderAndFiles(const char *folder) noexcept
{
    const int savedErrno = errno;
    for (int pass = 0; pass < 3; ++pass) {
        removeFiles(folder);
        if (::rmdir(folder) == 0 || errno != ENOTEMPTY)
            break;
    }
    errno = savedErrno;
}

} // namespace zandrel::platform
