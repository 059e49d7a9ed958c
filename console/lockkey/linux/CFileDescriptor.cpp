#include "console/lockkey/CFileDescriptor.h"

#include <cerrno>
#include <unistd.h>

void CFileDescriptor::Reset(int fd)
{
    if (m_fd >= 0) {
        close(m_fd);
    }
    m_fd = fd;
}

std::ptrdiff_t CFileDescriptor::Read(void* bytes, size_t count) const
{
    ssize_t got = 0;
    do {
        got = read(m_fd, bytes, count);
    } while (got < 0 && errno == EINTR);
    return got;
}
