// Writes to and reads from the store of CORVANE_STATE_DIR from a process of its own, as
// the console would while the service runs. Exit code 0 when the operation succeeded.
//   layout | port N | getport | password TEXT | key ID HEX64 | delete ID | dump ID | count | version
//   | guard RATE BURST CHECK EXEMPT (CHECK 0 off, 1 log only, 2 enforce; EXEMPT "" for none)
//   | metrics-dir PATH ("" for off)
#include "settings/CGuardSettings.h"
#include "settings/CKeyStore.h"
#include "settings/CMetricsSettings.h"

#include <cstdio>
#include <cstdlib>
#include <string>

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
    if (command == "guard" && argc == 6) {
        SGuardSettings settings;
        settings.throttleRate = static_cast<uint32_t>(std::atoi(argv[2]));
        settings.throttleBurst = static_cast<uint32_t>(std::atoi(argv[3]));
        settings.releaseCheck = static_cast<SGuardSettings::ReleaseCheck>(std::atoi(argv[4]));
        settings.exemptSubnets = argv[5];
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
