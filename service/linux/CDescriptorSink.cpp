#include "service/CDescriptorSink.h"

#include <cerrno>
#include <unistd.h>

void CDescriptorSink::Write(const char* bytes, size_t length)
{
    while (length > 0) {
        const ssize_t written = write(m_descriptor, bytes, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return; // nowhere to log to; the service goes on
        }
        bytes += written;
        length -= static_cast<size_t>(written);
    }
}
