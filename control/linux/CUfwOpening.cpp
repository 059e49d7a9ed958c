#include "CUfwOpening.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <unistd.h>

bool CUfwOpening::IsActive()
{
    std::string status;
    return m_tool.Ask({"status"}, &status) && status.rfind("Status: active", 0) == 0;
}

bool CUfwOpening::Exists()
{
    return access(m_profilePath.c_str(), F_OK) == 0;
}

bool CUfwOpening::Open(uint16_t port)
{
    return WriteProfile(port) && m_tool.Run({"allow", "Ternwick"});
}

bool CUfwOpening::Close()
{
    if (!m_tool.Run({"delete", "allow", "Ternwick"})) {
        return false;
    }
    if (unlink(m_profilePath.c_str()) != 0 && errno != ENOENT) {
        m_tool.RecordFailure(m_profilePath + ": " + std::strerror(errno));
        return false;
    }
    return true;
}

bool CUfwOpening::MoveToPort(uint16_t port)
{
    // ufw rewrites every rule made from the profile.
    return WriteProfile(port) && m_tool.Run({"app", "update", "Ternwick"});
}

bool CUfwOpening::WriteProfile(uint16_t port)
{
    const std::string next = m_profilePath + ".new";
    {
        std::ofstream profile(next, std::ios::trunc);
        profile << "[Ternwick]\n"
                << "title=Quillon Corvane Key Service\n"
                << "description=Hands lock keys to Corvane network disk units\n"
                << "ports=" << port << "/tcp\n";
        if (!profile.flush()) {
            m_tool.RecordFailure(next + ": cannot write");
            return false;
        }
    }
    if (std::rename(next.c_str(), m_profilePath.c_str()) != 0) {
        m_tool.RecordFailure(m_profilePath + ": " + std::strerror(errno));
        std::remove(next.c_str());
        return false;
    }
    return true;
}
