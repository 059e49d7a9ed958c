#pragma once

#include "CNotifyListener.h"
#include "CPeer.h"
#include "CTernwickProcess.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// Support for tests against the real Ternwick process: a private state directory, the
// store tool as a second process, a notification socket the test owns, raw peers.
namespace Harness {

using Clock = std::chrono::steady_clock;

class CTempDir
{
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// The program copied, once per process, into a folder every user may enter and run from:
// what a test runs as another user, since the build tree may lie where only its owner can
// go (a checkout under /root). Empty, with the reason in *reason, when no copy can be made.
std::string CopyForAnyUser(const std::string& program, std::string* reason);

// Runs the store tool on the state directory; returns its exit code, output in *out.
int StoreTool(const std::string& stateDir, const std::vector<std::string>& arguments, std::string* out = nullptr);

// A TCP port nothing listens on right now (IPv4 and IPv6).
uint16_t FreePort();
bool IPv6LoopbackWorks();

// Sends the whole client side of a conversation, ends the sending half and returns what
// the service sent until it closed.
// From source when given (an IPv4 address of this machine).
std::string Converse(uint16_t port, const std::string& clientBytes, const std::string& host = "127.0.0.1",
                     const std::string& source = "");

// Polls REQ_CHECK until the service answers on the port.
bool WaitForListener(uint16_t port, int timeOutMs, const std::string& host = "127.0.0.1");
bool CanConnect(uint16_t port, const std::string& host = "127.0.0.1");

// Shared by the helpers: the environment of a child on a state directory, argv-style
// pointers into texts, milliseconds left until a deadline.
std::vector<std::string> ChildEnvironment(const std::string& stateDir, const std::string& notifySocket);
std::vector<char*> Pointers(std::vector<std::string>& texts);
int RemainingMs(Clock::time_point deadline);

// Raises the descriptor limit of this process (and its children) to the hard limit.
void RaiseDescriptorLimit();

// The command run in a mount namespace of its own where the file is /etc/machine-id: the
// machine's identity as another computer's (or as this one's after a reinstall). The
// process keeps its pid. Needs root and mount namespaces: CanChangeMachineIdentity.
std::vector<std::string> UnderMachineIdentity(const std::string& machineIdFile, const std::vector<std::string>& argv);
bool CanChangeMachineIdentity();

} // namespace Harness
