#pragma once

#include "Harness.h"

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// One key server of a pair in its network namespace: the real Ternwick on a private store
// on the service's own port, and a real keepalived in the foreground, configured from the
// example the package installs, whose check asks this Ternwick.
class CKeyServerNode
{
public:
    static constexpr uint16_t kPort = 51056;

    struct SSetup
    {
        std::string networkNamespace;
        std::string address;
        std::string peer;
        std::string floatingAddress; // prefix length 24
        int priority = 100;
        std::vector<std::pair<std::string, std::string>> keys; // identifier, 32-byte key
    };

    explicit CKeyServerNode(const SSetup& setup);
    ~CKeyServerNode();
    CKeyServerNode(const CKeyServerNode&) = delete;
    CKeyServerNode& operator=(const CKeyServerNode&) = delete;

    // Empty when the store and keepalived's configuration are laid out, else why not.
    const std::string& Problem() const { return m_problem; }

    // corvane-admin on this server's store, given input on its standard input; its exit code.
    int Admin(const std::vector<std::string>& arguments, const std::string& input, std::string* out) const;
    // The test store tool on this server's store (see StoreTool.cpp); its exit code.
    int Store(const std::vector<std::string>& arguments) const { return Harness::StoreTool(m_dir.Path(), arguments); }

    // Starts Ternwick and waits until it serves and has reported running (a pause counts
    // only from then). False, with the reason in Problem, when it does not come up.
    bool StartService();
    // SIGKILL, and waits for the end: no goodbye, as in a crash.
    void KillService();
    // When Ternwick was last started.
    std::chrono::steady_clock::time_point StartedAt() const { return m_startedAt; }
    void SignalService(int signalNumber);

    bool StartKeepalived();
    // SIGKILL to both of keepalived's processes: it sends no last advertisement and
    // leaves its addresses where they are, as on a power loss.
    void KillKeepalived();
    // How many lines of keepalived's log hold text.
    size_t CountKeepalivedLog(const std::string& text) const;

    // Whether the floating address is on this server's link now.
    bool HoldsAddress() const;
    // Ternwick's log of every start so far.
    std::string ServiceLog() const { return m_service ? m_service->Log() : ""; }
    // The ends of both logs, for a failure report.
    std::string Report() const;

private:
    std::string Configuration();
    std::string Path(const char* name) const { return m_dir.Path() + "/" + name; }

    SSetup m_setup;
    Harness::CTempDir m_dir;
    std::string m_problem;
    std::unique_ptr<Harness::CNotifyListener> m_notify;
    std::unique_ptr<Harness::CTernwickProcess> m_service;
    std::chrono::steady_clock::time_point m_startedAt;
    std::unique_ptr<Harness::CChildProcess> m_keepalived;
};
