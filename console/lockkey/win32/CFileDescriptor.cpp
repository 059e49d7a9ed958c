#include "console/lockkey/CFileDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <io.h>

void CFileDescriptor::Reset(int fd)
{
    if (m_fd >= 0) {
        _close(m_fd);
    }
    m_fd = fd;
}

std::ptrdiff_t CFileDescriptor::Read(void* bytes, size_t count) const
{
    // The C library counts in unsigned int; a shorter read is a read like any other.
    const auto chunk = static_cast<unsigned>(std::min<size_t>(count, size_t{1} << 30));
    int got = 0;
    do {
        got = _read(m_fd, bytes, chunk);
    } while (got < 0 && errno == EINTR);
    return got;
}
