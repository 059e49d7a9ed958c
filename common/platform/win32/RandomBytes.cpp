#include "platform/RandomBytes.h"

#include "platform/win32/Win32.h"

#include <bcrypt.h>
#include <system_error>

namespace Platform {

void FillRandom(void* buffer, size_t length)
{
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (length > 0) {
        const ULONG part = length > 0x40000000u ? 0x40000000u : static_cast<ULONG>(length);
        const NTSTATUS status = BCryptGenRandom(nullptr, bytes, part, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
        if (status < 0) {
            throw std::system_error(static_cast<int>(status), std::system_category(), "BCryptGenRandom");
        }
        bytes += part;
        length -= part;
    }
}

} // namespace Platform
