#include "platform/RandomBytes.h"

#include <cerrno>
#include <sys/random.h>
#include <system_error>

namespace Platform {

void FillRandom(void* buffer, size_t length)
{
    auto* bytes = static_cast<unsigned char*>(buffer);
    size_t filled = 0;
    while (filled < length) {
        const ssize_t got = getrandom(bytes + filled, length - filled, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            throw std::system_error(errno, std::generic_category(), "getrandom");
        }
        filled += static_cast<size_t>(got);
    }
}

} // namespace Platform
