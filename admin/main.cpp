// corvane-admin: administers the key server of this computer from a terminal.
#include "admin/CAdminProgram.h"
#include "admin/CTtyTerminal.h"
#include "console/lockkey/CStorageSystem.h"
#include "control/ServiceQueries.h"
#include "platform/StateDirectory.h"
#include "settings/CKeyStore.h"

#include <csignal>
#include <iostream>

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    CKeyStore store;
    CTtyTerminal terminal;
    const SAdminEnvironment environment{
        store,
        CStorageSystem::Default(),
        terminal,
        std::cin,
        std::cout,
        std::cerr,
        Platform::StateDirectory() + "/settings.db",
        [] { return QueryServiceState(); },
        [](uint16_t port) { FollowServicePort(port); },
        SealedExport::DefaultCost(),
        Platform::StateDirectoryProblem(),
    };
    CAdminProgram program(environment);
    return program.Run(std::vector<std::string>(argv + 1, argv + argc));
}
