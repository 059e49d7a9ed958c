#pragma once

#include "settings/CKeyStore.h"
#include "settings/CRegistryKey.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// Where the store keeps what peer sync needs, beside "Config" (whose changes reopen the
// listener) and "KeyList" (what units are served): the peers, and the ledger of versions.
namespace SyncStore {

inline const std::string kPeersPath = CKeyStore::kPeersPath;
inline const std::string kSyncPath = CKeyStore::kSyncPath;
inline const std::string kLedgerPath = kSyncPath + "\\Ledger";
inline const std::string kConflictsPath = kSyncPath + "\\Conflicts";
inline const std::string kResolvePath = kSyncPath + "\\Resolve";

// Opens path with full access, creating it (below the product key) when create is set.
bool Open(CRegistryKey& key, const std::string& path, bool create);
std::optional<std::string> ReadBytes(CRegistryKey& key, std::string_view name);
bool WriteBytes(CRegistryKey& key, std::string_view name, std::string_view bytes);
// Each value of the key (name and data) of up to 2 KiB, to the visitor; larger ones, which
// no sync value is, are passed over.
void ForEachValue(CRegistryKey& key, const std::function<void(const std::string&, std::string_view)>& visit);

// 32 secret bytes masked with this machine's text, and back.
std::string MaskSecret(std::string_view secret, bool seal);

} // namespace SyncStore
