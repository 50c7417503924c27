// The runtime's file access of host/crtio.h over POSIX. Reads are made whole
// as the runtime makes them for files, and a folder is refused at open as it
// is there.
#include "host/crtio.h"

#include "replacement_host/platform/CrtIo.h"
#include "replacement_host/text/Utf.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
long g_opens = 0;
}

long crtio::openCount() { return g_opens; }

int _wopen(const ACHAR* path, int flags)
{
    ++g_opens;
    if (!path || (flags & ~_O_BINARY) != _O_RDONLY) {
        errno = EINVAL;
        return -1;
    }
    int fd = ::open(utf::toUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        errno = EACCES;
        return -1;
    }
    return fd;
}

Adesk::Int32 _filelength(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return -1;
    if (st.st_size < 0 || st.st_size > INT32_MAX) {
        errno = EOVERFLOW;
        return -1;
    }
    return static_cast<Adesk::Int32>(st.st_size);
}

int _read(int fd, void* buffer, unsigned int count)
{
    if (!buffer || count > INT_MAX) {
        errno = EINVAL;
        return -1;
    }
    auto* p = static_cast<char*>(buffer);
    unsigned int done = 0;
    while (done < count) {
        ssize_t n = ::read(fd, p + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return done > 0 ? static_cast<int>(done) : -1;
        if (n == 0)
            break;
        done += static_cast<unsigned int>(n);
    }
    return static_cast<int>(done);
}

int _close(int fd) { return ::close(fd); }

int _wstat64(const ACHAR* path, _stat64* status)
{
    struct stat st {};
    if (!path || !status || ::stat(utf::toUtf8(path).c_str(), &st) != 0)
        return -1;
    status->size = st.st_size;
    status->lastWrite = st.st_mtim.tv_sec;
    status->isFolder = S_ISDIR(st.st_mode);
    return 0;
}

int _localtime64_s(std::tm* local, const __time64_t* time)
{
    if (!local || !time)
        return EINVAL;
    std::time_t t = static_cast<std::time_t>(*time);
    if (!::localtime_r(&t, local))
        return EINVAL;
    return 0;
}
