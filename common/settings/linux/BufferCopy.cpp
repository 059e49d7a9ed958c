#include "BufferCopy.h"

#include "settings/RegistryTypes.h"

#include <cstring>

int32_t CopyName(std::string_view name, char* out, uint32_t capacity, uint32_t* length)
{
    if (out == nullptr) {
        return kErrorInvalidParameter;
    }
    if (length != nullptr) {
        *length = static_cast<uint32_t>(name.size());
    }
    if (name.size() + 1 > capacity) {
        return kErrorMoreData;
    }
    std::memcpy(out, name.data(), name.size());
    out[name.size()] = '\0';
    return kErrorSuccess;
}

// Data into the caller's buffer as RegQueryValueEx does: the size always comes back.
int32_t CopyData(std::string_view data, void* buffer, uint32_t* length)
{
    if (length == nullptr) {
        return buffer == nullptr ? kErrorSuccess : kErrorInvalidParameter;
    }
    const uint32_t capacity = *length;
    *length = static_cast<uint32_t>(data.size());
    if (buffer == nullptr) {
        return kErrorSuccess;
    }
    if (data.size() > capacity) {
        return kErrorMoreData;
    }
    if (!data.empty()) {
        std::memcpy(buffer, data.data(), data.size());
    }
    return kErrorSuccess;
}
