// Writes to and reads from the store of CORVANE_STATE_DIR from a process of its own, as
// the console would while the service runs. Exit code 0 when the operation succeeded.
//   layout | port N | getport | password TEXT | key ID HEX64 | delete ID | dump ID | count | version
//   | guard RATE BURST CHECK EXEMPT [PUSHLIMIT] (CHECK 0 off, 1 log only, 2 enforce; EXEMPT ""
//   for none)
//   | keys PREFIX COUNT HEX64 (IDs PREFIX000000 on, each key the given one with its number
//   added to the first four bytes) | peer NAME HOST PORT SECRETHEX64 | unpeer NAME | peerstate NAME
//   | conflicts (one "ID PEER" line each) | resolve ID local|peer | metrics-dir PATH ("" for off)
#include "settings/CGuardSettings.h"
#include "settings/CKeyStore.h"
#include "settings/CMetricsSettings.h"
#include "sync/CPeerStore.h"
#include "sync/CSyncLedger.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool ParseHexKey(const std::string& hex, unsigned char (&key)[CKeyRecord::kKeyLength])
{
    if (hex.size() != 2 * CKeyRecord::kKeyLength) {
        return false;
    }
    for (size_t i = 0; i < CKeyRecord::kKeyLength; ++i) {
        key[i] = static_cast<unsigned char>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        return 2;
    }
    const std::string command = argv[1];
    CKeyStore store;
    if (command == "layout") {
        return store.CreateLayout() == 1 ? 0 : 1;
    }
    if (command == "port" && argc == 3) {
        return store.WritePort(std::atoi(argv[2])) == 1 ? 0 : 1;
    }
    if (command == "password" && argc == 3) {
        return store.WritePassword(argv[2]) == 1 ? 0 : 1;
    }
    if (command == "key" && argc == 4) {
        unsigned char key[CKeyRecord::kKeyLength];
        if (!ParseHexKey(argv[3], key)) {
            return 2;
        }
        CKeyRecord record;
        record.SetId(argv[2]);
        record.SetKey(key);
        return store.StoreKey(record) == 1 ? 0 : 1;
    }
    if (command == "guard" && (argc == 6 || argc == 7)) {
        SGuardSettings settings;
        settings.throttleRate = static_cast<uint32_t>(std::atoi(argv[2]));
        settings.throttleBurst = static_cast<uint32_t>(std::atoi(argv[3]));
        settings.releaseCheck = static_cast<SGuardSettings::ReleaseCheck>(std::atoi(argv[4]));
        settings.exemptSubnets = argv[5];
        settings.pushLimit = argc == 7 ? static_cast<uint32_t>(std::atoi(argv[6])) : settings.pushLimit;
        return CGuardSettings::Write(settings) == 1 ? 0 : 1;
    }
    if (command == "metrics-dir" && argc == 3) {
        return CMetricsSettings::Write(argv[2]) == 1 ? 0 : 1;
    }
    if (command == "getport") {
        std::printf("%u\n", static_cast<unsigned>(store.ReadPort()));
        return 0;
    }
    if (command == "delete" && argc == 3) {
        return store.DeleteKey(argv[2]) == 1 ? 0 : 1;
    }
    if (command == "count") {
        std::printf("%zu\n", store.LoadKeyList().size());
        return 0;
    }
    if (command == "version") {
        std::printf("%llu\n", static_cast<unsigned long long>(store.KeyListVersion()));
        return 0;
    }
    if (command == "keys" && argc == 5) {
        unsigned char key[CKeyRecord::kKeyLength];
        if (!ParseHexKey(argv[4], key)) {
            return 2;
        }
        std::vector<CKeyRecord> records(static_cast<size_t>(std::atoi(argv[3])));
        for (size_t i = 0; i < records.size(); ++i) {
            char id[32];
            std::snprintf(id, sizeof id, "%s%06zu", argv[2], i);
            unsigned char numbered[CKeyRecord::kKeyLength];
            std::copy(key, key + sizeof key, numbered);
            for (int byte = 0; byte < 4; ++byte) {
                numbered[byte] = static_cast<unsigned char>(numbered[byte] + (i >> (8 * byte)));
            }
            records[i].SetId(id);
            records[i].SetKey(numbered);
        }
        const auto results = store.StoreKeys(records);
        return std::count(results.begin(), results.end(), 1) == static_cast<long>(records.size()) ? 0 : 1;
    }
    if (command == "peer" && argc == 6) {
        unsigned char secret[CKeyRecord::kKeyLength];
        if (!ParseHexKey(argv[5], secret)) {
            return 2;
        }
        CPeerStore::SPeer peer;
        peer.name = argv[2];
        peer.host = argv[3];
        peer.port = static_cast<uint16_t>(std::atoi(argv[4]));
        peer.secret.assign(reinterpret_cast<const char*>(secret), sizeof secret);
        return CPeerStore().Add(peer) == CPeerStore::Result::Done ? 0 : 1;
    }
    if (command == "unpeer" && argc == 3) {
        return CPeerStore().Remove(argv[2]) == CPeerStore::Result::Done ? 0 : 1;
    }
    if (command == "peerstate" && argc == 3) {
        const auto peers = CPeerStore().List();
        for (const auto& peer : peers.value_or(std::vector<CPeerStore::SPeer>())) {
            if (peer.name == argv[2]) {
                std::printf("%s\n", peer.status.state.c_str());
                return 0;
            }
        }
        return 1;
    }
    if (command == "conflicts") {
        for (const auto& [id, conflict] : CSyncLedger::ReadConflicts()) {
            std::printf("%s %s\n", id.c_str(), conflict.peer.c_str());
        }
        return 0;
    }
    if (command == "resolve" && argc == 4) {
        return CSyncLedger::RequestResolution(argv[2], std::string(argv[3]) == "local") == 1 ? 0 : 1;
    }
    if (command == "dump" && argc == 3) {
        const auto list = store.LoadKeyList();
        const auto found = list.find(argv[2]);
        if (found == list.end()) {
            return 1;
        }
        for (size_t i = 0; i < found->second.GetKey().Length(); ++i) {
            std::printf("%02x", found->second.GetKey().Data()[i]);
        }
        std::printf("\n");
        return 0;
    }
    return 2;
}
