#include "admin/AdminSystem.h"

#include "admin/linux/CTtyTerminal.h"
#include "platform/StateDirectory.h"

namespace AdminSystem {

std::vector<std::string> Arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + 1, argv + argc);
}

std::unique_ptr<CTerminal> NewTerminal()
{
    return std::make_unique<CTtyTerminal>();
}

std::string StoreLocation()
{
    return Platform::StateDirectory() + "/settings.db";
}

std::string StoreLocationProblem()
{
    return Platform::StateDirectoryProblem();
}

std::string UnknownServiceText()
{
    return "not installed as a systemd service, or systemd is not running";
}

} // namespace AdminSystem
