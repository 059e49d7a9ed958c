#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Exact bytes of the key-server framing, built independently of the protocol library so
// that a fault there shows up as a difference on the wire.
namespace Wire {

std::string Header(uint32_t type, uint32_t value);
std::string Request(uint32_t code);
std::string Data(std::string_view bytes);
std::string Int(int32_t value);
std::string Ack();
std::string Reject();
std::string Status(uint32_t status, uint32_t detail);

// A 32-byte key sealed for transfer: key + pad(id) + pad(mask), byte-wise modulo 256.
std::string Seal(std::string_view key, std::string_view id, std::string_view mask);
// The reverse, as a sender seals a key it pushes.
std::string Password(std::string_view password, std::string_view mask);

std::string Hex(std::string_view bytes);
std::string Key(unsigned char seed);

} // namespace Wire
