#include "service/CDescriptorSink.h"

#include <algorithm>
#include <cerrno>
#include <io.h>

void CDescriptorSink::Write(const char* bytes, size_t length)
{
    while (length > 0) {
        // At most 1 GiB a call: the C library counts in unsigned int.
        const auto chunk = static_cast<unsigned>(std::min<size_t>(length, size_t{1} << 30));
        const int written = _write(m_descriptor, bytes, chunk);
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
