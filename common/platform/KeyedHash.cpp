#include "KeyedHash.h"

#include <sodium.h>

namespace Platform {

std::array<uint8_t, kKeyedHashLength> KeyedHash(std::string_view key, std::string_view message)
{
    static_assert(kKeyedHashLength == crypto_auth_hmacsha256_BYTES);
    // Once per process, thread-safe; the hash itself needs nothing it could fail to set up.
    [[maybe_unused]] static const int initialised = sodium_init();
    std::array<uint8_t, kKeyedHashLength> hash{};
    crypto_auth_hmacsha256_state state;
    crypto_auth_hmacsha256_init(&state, reinterpret_cast<const unsigned char*>(key.data()), key.size());
    crypto_auth_hmacsha256_update(&state, reinterpret_cast<const unsigned char*>(message.data()), message.size());
    crypto_auth_hmacsha256_final(&state, hash.data());
    sodium_memzero(&state, sizeof state);
    return hash;
}

} // namespace Platform
