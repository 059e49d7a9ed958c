#include "CUsbDiskInfo.h"

#include "keys/AsciiCase.h"

#include <cstdio>

std::string CUsbDiskInfo::IdentityText() const
{
    char numbers[32];
    std::snprintf(numbers, sizeof(numbers), "%04x%04x", static_cast<unsigned>(vendorId),
                  static_cast<unsigned>(productId));
    return UpperAscii(std::string(numbers) + serial);
}

bool CUsbDiskInfo::IsInstanceText(std::string_view serial)
{
    if (serial.empty()) {
        return false;
    }
    for (const char c : serial) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x21 || byte > 0x7F || byte == ',') {
            return false;
        }
    }
    return true;
}
