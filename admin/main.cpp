// corvane-admin: administers the key server of this computer from a terminal.
#include "admin/AdminSystem.h"
#include "admin/CAdminProgram.h"
#include "console/lockkey/CStorageSystem.h"
#include "control/ServiceQueries.h"
#include "net/CWinsockSession.h"
#include "platform/StateDirectory.h"
#include "settings/CKeyStore.h"

#include <iostream>

int main(int argc, char** argv)
{
    // Sockets for copy, fetch and the port probes.
    const ZiRez::CWinsockSession sockets;
    CKeyStore store;
    const std::unique_ptr<CTerminal> terminal = AdminSystem::NewTerminal();
    const SAdminEnvironment environment{
        store,
        CStorageSystem::Default(),
        *terminal,
        std::cin,
        std::cout,
        std::cerr,
        AdminSystem::StoreLocation(),
        [] { return QueryServiceState(); },
        [](uint16_t port) { FollowServicePort(port); },
        SealedExport::DefaultCost(),
        AdminSystem::StoreLocationProblem(),
        Platform::StateDirectory(),
    };
    CAdminProgram program(environment);
    return program.Run(AdminSystem::Arguments(argc, argv));
}
