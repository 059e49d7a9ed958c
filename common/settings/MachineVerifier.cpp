#include "MachineVerifier.h"

#include "platform/KeyedHash.h"
#include "platform/RandomBytes.h"

#include <cstdint>

namespace MachineVerifier {

namespace {

constexpr char kVersion = 1;
constexpr size_t kSaltLength = 16;
constexpr size_t kLength = 1 + kSaltLength + Platform::kKeyedHashLength;
// Keeps the hash apart from any other use of the same text.
constexpr std::string_view kPurpose{"corvane machine identity\0", 25};

std::string Hash(std::string_view salt, const std::string& machineText)
{
    std::string message(kPurpose);
    message += machineText;
    const auto hash = Platform::KeyedHash(salt, message);
    return std::string(reinterpret_cast<const char*>(hash.data()), hash.size());
}

} // namespace

std::string Make(const std::string& machineText)
{
    char salt[kSaltLength];
    Platform::FillRandom(salt, sizeof salt);
    const std::string_view saltText(salt, sizeof salt);
    std::string verifier(1, kVersion);
    verifier += saltText;
    verifier += Hash(saltText, machineText);
    return verifier;
}

bool Matches(std::string_view verifier, const std::string& machineText)
{
    if (verifier.size() != kLength || verifier[0] != kVersion) {
        return false;
    }
    const std::string expected = Hash(verifier.substr(1, kSaltLength), machineText);
    // Not secret, but compared without an early exit all the same.
    uint8_t difference = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        difference |= static_cast<uint8_t>(expected[i] ^ verifier[1 + kSaltLength + i]);
    }
    return difference == 0;
}

} // namespace MachineVerifier
