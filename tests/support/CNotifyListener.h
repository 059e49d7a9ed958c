#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace Harness {

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

} // namespace Harness
