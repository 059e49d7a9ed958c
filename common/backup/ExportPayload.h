#pragma once

#include "settings/CKeyStore.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What an export file holds once unsealed: when and where it was made, the port, the
// cooperation password and every registration with its key in the clear. The same bytes
// on every platform, so an export of one key server imports on any other.
namespace ExportPayload {

struct SExport
{
    int64_t createdAt = 0; // seconds since 1970-01-01 UTC
    std::string host;      // the computer it was made on, as it named itself
    CKeyStore::SContents contents;
};

std::string Encode(const SExport& exported);

// nullopt for bytes that are not a payload of this version, or that hold a value the
// store could not take (no port, a password over 20 bytes, an ID that cannot be stored
// or appears twice).
std::optional<SExport> Decode(std::string_view bytes);

} // namespace ExportPayload
