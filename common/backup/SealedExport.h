#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Bytes sealed under a passphrase, as an export file holds them: a versioned header with
// the key derivation's parameters (Argon2id) and salt, then the bytes in authenticated
// chunks (XChaCha20-Poly1305 secret stream, the header as additional data of each), the
// last one marked final. Nothing of the file can be changed, cut short or extended
// unnoticed, and a wrong passphrase opens nothing.
namespace SealedExport {

// The cost of deriving the key from the passphrase, written into the file.
struct SKdfCost
{
    uint64_t opsLimit;
    size_t memLimit;
};

// What an administrator's export uses: about a second and 256 MiB to derive the key.
SKdfCost DefaultCost();
// The least the derivation allows (tests).
SKdfCost LeastCost();

inline constexpr uint16_t kFormatVersion = 1;

// The sealed file's bytes; throws std::runtime_error only when the system cannot provide
// the memory or randomness the derivation needs.
std::string Seal(std::string_view plain, std::string_view passphrase, const SKdfCost& cost);

enum class EFault
{
    None,
    NotSealed,       // not an export file at all
    NewerFormat,     // written by a newer version: its format number is above ours
    Unacceptable,    // asks for a derivation beyond what this program allows (4x the default cost)
    WrongPassphrase, // the passphrase is wrong, or the header was altered
    Altered,         // the content was altered
    Truncated,       // the file ends before its final chunk
    NoResources,     // the derivation's memory could not be had
};

struct SUnsealed
{
    EFault fault = EFault::None;
    uint16_t version = 0; // the file's format number, when it could be read
    std::string plain;
};

// The header alone, checked before a passphrase is asked for: its fault (NotSealed,
// NewerFormat, Truncated, Unacceptable) or None; the chunks are Unseal's to check.
SUnsealed CheckHeader(std::string_view sealed);

SUnsealed Unseal(std::string_view sealed, std::string_view passphrase);

} // namespace SealedExport
