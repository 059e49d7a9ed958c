#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace Harness {

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

    bool Connect(const std::string& host, uint16_t port, const std::string& source = "");
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

} // namespace Harness
