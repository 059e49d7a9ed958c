// A second process writing the store on a private branch (the first argument) as the
// console and the admin tool would: one command a line on standard input, "key ID TAG"
// (the key bytes KeyBytes(TAG, 0)) or "delete ID"; "ok" or "failed" a line on standard
// output once the store call returned.
#include "StoreTestSupport.h"
#include "settings/CKeyStore.h"
#include "settings/MachineText.h"

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        return 2;
    }
    CWin32RegistryStore registry(argv[1]);
    SetSettingsStoreForTesting(&registry);
    SetMachineTextForTesting(std::string(kTestMachineText));
    CKeyStore store;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string verb;
        std::string id;
        int tag = 0;
        words >> verb >> id >> tag;
        const int done = verb == "key" ? store.StoreKey(MakeRecord(id, KeyBytes(tag, 0))) : store.DeleteKey(id);
        std::printf("%s\n", done == 1 ? "ok" : "failed");
        std::fflush(stdout);
    }
    SetSettingsStoreForTesting(nullptr);
    return 0;
}
