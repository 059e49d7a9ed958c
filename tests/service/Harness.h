#pragma once

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

// Runs the store tool on the state directory; returns its exit code, output in *out.
int StoreTool(const std::string& stateDir, const std::vector<std::string>& arguments, std::string* out = nullptr);

// A TCP port nothing listens on right now (IPv4 and IPv6).
uint16_t FreePort();
bool IPv6LoopbackWorks();

// A datagram socket in the abstract namespace for NOTIFY_SOCKET.
class CNotifyListener
{
public:
    CNotifyListener();
    ~CNotifyListener();
    CNotifyListener(const CNotifyListener&) = delete;
    CNotifyListener& operator=(const CNotifyListener&) = delete;

    std::string Address() const { return "@" + m_name; }
    // Waits until a message with this exact line arrived (seen messages are kept).
    bool WaitForLine(const std::string& line, int timeOutMs);
    // The STATUS= texts received so far, in order.
    std::vector<std::string> Statuses();
    std::vector<std::string> Messages();

private:
    void Drain(int timeOutMs);

    int m_fd = -1;
    std::string m_name;
    std::vector<std::string> m_messages;
    size_t m_scanned = 0;
};

class CTernwickProcess
{
public:
    // Starts the service on the state directory, logging to a file there; with a
    // descriptor limit, under that limit (soft and hard).
    CTernwickProcess(const std::string& stateDir, const std::string& notifySocket, int descriptorLimit = 0);
    ~CTernwickProcess();
    CTernwickProcess(const CTernwickProcess&) = delete;
    CTernwickProcess& operator=(const CTernwickProcess&) = delete;

    pid_t Pid() const { return m_pid; }
    void Signal(int signalNumber) const;
    // The wait status once the process ended within the time, else nullopt.
    std::optional<int> WaitExit(int timeOutMs);
    std::string Log() const;
    // Waits until the log holds at least count lines containing text.
    bool WaitForLog(const std::string& text, size_t count, int timeOutMs) const;
    size_t CountLog(const std::string& text) const;

private:
    pid_t m_pid = -1;
    std::string m_logPath;
    std::optional<int> m_status;
};

// A blocking TCP peer with receive time-outs.
class CPeer
{
public:
    CPeer() = default;
    ~CPeer();
    CPeer(CPeer&& other) noexcept;
    CPeer& operator=(CPeer&& other) noexcept;
    CPeer(const CPeer&) = delete;
    CPeer& operator=(const CPeer&) = delete;

    bool Connect(const std::string& host, uint16_t port);
    bool Send(const std::string& bytes);
    void ShutdownWrite();
    // Reads up to count bytes within the time; stops early at the peer's close.
    std::string Read(size_t count, int timeOutMs);
    // Everything until the peer closes (or the time runs out).
    std::string ReadToClose(int timeOutMs, bool* closed = nullptr);
    // True when nothing arrives (and the connection stays open) for the whole time.
    bool StaysQuiet(int timeOutMs);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// Sends the whole client side of a conversation, ends the sending half and returns what
// the service sent until it closed.
std::string Converse(uint16_t port, const std::string& clientBytes, const std::string& host = "127.0.0.1");

// Polls REQ_CHECK until the service answers on the port.
bool WaitForListener(uint16_t port, int timeOutMs, const std::string& host = "127.0.0.1");
bool CanConnect(uint16_t port, const std::string& host = "127.0.0.1");

// Raises the descriptor limit of this process (and its children) to the hard limit.
void RaiseDescriptorLimit();

} // namespace Harness
