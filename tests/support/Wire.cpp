#include "Wire.h"

#include <cstdio>

namespace Wire {

namespace {

std::string BigEndian(uint32_t value)
{
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
    }
    return bytes;
}

} // namespace

std::string Header(uint32_t type, uint32_t value)
{
    return BigEndian(type) + BigEndian(value);
}

std::string Request(uint32_t code)
{
    return Header(1, code);
}

std::string Data(std::string_view bytes)
{
    return Header(2, static_cast<uint32_t>(bytes.size())) + std::string(bytes);
}

std::string Int(int32_t value)
{
    return Header(2, 4) + BigEndian(static_cast<uint32_t>(value));
}

std::string Ack()
{
    return Header(3, 0);
}

std::string Reject()
{
    return Header(4, 0);
}

std::string Status(uint32_t status, uint32_t detail)
{
    return Header(5, 24) + BigEndian(status) + BigEndian(detail) + std::string(16, '\0');
}

std::string Seal(std::string_view key, std::string_view id, std::string_view mask)
{
    std::string sealed(key);
    for (size_t i = 0; i < sealed.size(); ++i) {
        unsigned value = static_cast<unsigned char>(sealed[i]);
        if (!id.empty()) {
            value += static_cast<unsigned char>(id[i % id.size()]);
        }
        if (!mask.empty()) {
            value += static_cast<unsigned char>(mask[i % mask.size()]);
        }
        sealed[i] = static_cast<char>(value & 0xFF);
    }
    return sealed;
}

std::string Password(std::string_view password, std::string_view mask)
{
    std::string masked(password);
    for (size_t i = 0; i < masked.size() && i < mask.size(); ++i) {
        masked[i] =
            static_cast<char>((static_cast<unsigned char>(masked[i]) + static_cast<unsigned char>(mask[i])) & 0xFF);
    }
    return masked;
}

std::string Hex(std::string_view bytes)
{
    std::string text;
    for (const char byte : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(byte));
        text += pair;
    }
    return text;
}

std::string Key(unsigned char seed)
{
    std::string key(32, '\0');
    for (size_t i = 0; i < key.size(); ++i) {
        key[i] = static_cast<char>((seed * 37 + i * 11 + 0xA5) & 0xFF);
    }
    return key;
}

} // namespace Wire
