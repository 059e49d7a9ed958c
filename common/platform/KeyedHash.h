#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace Platform {

inline constexpr size_t kKeyedHashLength = 32;

// HMAC-SHA-256 of the message under the key: the same bytes on every platform, so that
// a store written on one is checked alike on another.
std::array<uint8_t, kKeyedHashLength> KeyedHash(std::string_view key, std::string_view message);

} // namespace Platform
