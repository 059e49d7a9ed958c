// What the systemd tests ask from inside the sandbox that no installed program answers:
//   state          the service's state as the state query gives it
//   follow-port N  the "port changed" hook
//   branch         "present" or "absent": the settings branch of the key service
#include "control/ServiceQueries.h"
#include "settings/CKeyStore.h"
#include "settings/CRegistryKey.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "state") {
        std::printf("%u\n", QueryServiceState());
        return 0;
    }
    if (command == "follow-port" && argc == 3) {
        FollowServicePort(static_cast<uint16_t>(std::atoi(argv[2])));
        return 0;
    }
    if (command == "branch") {
        CRegistryKey product;
        const bool present = product.Open(kHKeyLocalMachine, CKeyStore::kProductPath, kKeyRead) == kErrorSuccess;
        std::printf("%s\n", present ? "present" : "absent");
        return 0;
    }
    return 2;
}
