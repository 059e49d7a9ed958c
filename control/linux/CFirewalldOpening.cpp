#include "CFirewalldOpening.h"

#include <sstream>

namespace {

const std::string kService = "Ternwick";
const std::string kServiceOption = "--service=" + kService;

} // namespace

bool CFirewalldOpening::IsActive()
{
    return m_tool.Ask({"--state"});
}

bool CFirewalldOpening::Exists()
{
    return IsActive() && DefinitionExists();
}

bool CFirewalldOpening::DefinitionExists()
{
    return m_tool.Ask({"--permanent", "--info-service=" + kService});
}

bool CFirewalldOpening::Open(uint16_t port)
{
    // A definition left from an earlier install is taken over, with its port set anew.
    const bool created = m_tool.Run({"--permanent", "--new-service=" + kService});
    if (!created && !DefinitionExists()) {
        return false;
    }
    const bool ported = created
                            ? m_tool.Run({"--permanent", kServiceOption, "--add-port=" + std::to_string(port) + "/tcp"})
                            : SetPort(port);
    return ported && m_tool.Run({"--permanent", "--add-service=" + kService}) && m_tool.Run({"--reload"});
}

bool CFirewalldOpening::Close()
{
    // Deleting the definition takes it out of every zone that names it.
    return m_tool.Run({"--permanent", "--delete-service=" + kService}) && m_tool.Run({"--reload"});
}

bool CFirewalldOpening::MoveToPort(uint16_t port)
{
    return SetPort(port) && m_tool.Run({"--reload"});
}

bool CFirewalldOpening::SetPort(uint16_t port)
{
    const std::string wanted = std::to_string(port) + "/tcp";
    std::string ports;
    if (!m_tool.Run({"--permanent", kServiceOption, "--get-ports"}, &ports)) {
        return false;
    }
    std::istringstream words(ports);
    std::string present;
    bool hasWanted = false;
    while (words >> present) {
        if (present == wanted) {
            hasWanted = true;
        } else if (!m_tool.Run({"--permanent", kServiceOption, "--remove-port=" + present})) {
            return false;
        }
    }
    return hasWanted || m_tool.Run({"--permanent", kServiceOption, "--add-port=" + wanted});
}
