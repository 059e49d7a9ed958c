#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// One USB storage disk: its disk number and the identity of its USB device.
class CUsbDiskInfo
{
public:
    int32_t deviceNumber = -1;
    int vendorId = 0;
    int productId = 0;
    std::string interfacePath;
    std::string serial;
    // False when Windows would not take the serial as the instance text (it then makes up
    // one from the port), or the USB device could not be read: the identity it binds keys
    // to cannot be known here.
    bool instanceKnown = true;

    // Vendor and product as at least four lower-case hex digits, then the serial; all
    // upper-cased.
    std::string IdentityText() const;

    // Windows uses a serial as the instance text only when it is non-empty and every byte
    // lies in 0x21 to 0x7F and none is a comma.
    static bool IsInstanceText(std::string_view serial);
};
