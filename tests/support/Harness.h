#pragma once

#include "CChildProcess.h"
#include "CNotifyListener.h"
#include "CPeer.h"
#include "CTernwickProcess.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// Support for tests against the real Ternwick process: a private state directory, the
// store tool as a second process, a notification socket the test owns, raw peers.
namespace Harness {

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

// The environment of a child on a state directory: this program's, but for the state
// directory and the service manager's socket.
std::vector<std::string> ChildEnvironment(const std::string& stateDir, const std::string& notifySocket);

// Starts the service with start(port) (which writes the port into the store and starts
// the process) on port when it is not 0, else on one from FreePort, and waits until it
// answers there. When the service finds the port taken (another program bound it first)
// and ends, again on another from FreePort. The port in use is left in port, the process
// in service, also when it did not come up.
bool StartServing(const std::function<std::unique_ptr<CTernwickProcess>(uint16_t)>& start,
                  std::unique_ptr<CTernwickProcess>& service, uint16_t& port, int timeOutMs = 20000);
// The same on a state directory laid out already, the store tool writing the port.
bool StartServing(const std::string& stateDir, std::unique_ptr<CTernwickProcess>& service, uint16_t& port);

// Raises the descriptor limit of this process (and its children) to the hard limit.
void RaiseDescriptorLimit();

// The command run in a mount namespace of its own where the file is /etc/machine-id: the
// machine's identity as another computer's (or as this one's after a reinstall). The
// process keeps its pid. Needs root and mount namespaces: CanChangeMachineIdentity.
std::vector<std::string> UnderMachineIdentity(const std::string& machineIdFile, const std::vector<std::string>& argv);
bool CanChangeMachineIdentity();

} // namespace Harness
