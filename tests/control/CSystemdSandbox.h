#pragma once

#include <string>
#include <vector>

// A real systemd booted in private namespaces by systemd-sandbox.sh, with the staged
// installation at /opt/corvane; commands run inside it, and this process can join its
// network to reach the service on its loopback.
class CSystemdSandbox
{
public:
    struct Result
    {
        int status = -1;
        std::string out;
        std::string err;
    };

    // Boots; Booted() tells whether it worked, SkipReason() why this machine cannot.
    CSystemdSandbox(const std::string& script, const std::string& stage);
    ~CSystemdSandbox();
    CSystemdSandbox(const CSystemdSandbox&) = delete;
    CSystemdSandbox& operator=(const CSystemdSandbox&) = delete;

    bool Booted() const { return m_booted; }
    const std::string& SkipReason() const { return m_skipReason; }
    const std::string& BootLog() const { return m_bootLog; }

    Result Exec(const std::vector<std::string>& command) const;
    // Moves this process into the sandbox's network namespace (for good).
    bool EnterNetwork() const;

private:
    Result Script(const std::vector<std::string>& arguments) const;

    std::string m_script;
    std::string m_stage;
    std::string m_dir;
    bool m_booted = false;
    std::string m_skipReason;
    std::string m_bootLog;
};
