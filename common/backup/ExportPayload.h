#pragma once

#include "settings/CKeyStore.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What an export file holds once unsealed: when and where it was made, the port, the
// cooperation password and every registration with its key in the clear. The same bytes
// on every platform, so an export of one key server imports on any other.
namespace ExportPayload {

// A key server this one syncs with, with the secret both share in the clear.
struct SPeer
{
    std::string name;
    std::string host;
    uint16_t port = 0;
    std::string secret;

    bool operator==(const SPeer&) const = default;
};

struct SExport
{
    int64_t createdAt = 0; // seconds since 1970-01-01 UTC
    std::string host;      // the computer it was made on, as it named itself
    CKeyStore::SContents contents;
    std::vector<SPeer> peers;
};

// Without peers, in the format of the versions before peers (which read it still).
std::string Encode(const SExport& exported);

// nullopt for bytes that are not a payload of these versions, or that hold a value the
// store could not take (no port, a password over 20 bytes, an ID that cannot be stored
// or appears twice, a peer without a name, host or port, a secret not of 32 bytes, a name
// twice).
std::optional<SExport> Decode(std::string_view bytes);

} // namespace ExportPayload
