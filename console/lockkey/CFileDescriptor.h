#pragma once

#include <cstddef>
#include <utility>

// Owns one file descriptor of the C library and closes it; -1 holds none. The system's
// close and read are in linux/ and win32/.
class CFileDescriptor
{
public:
    explicit CFileDescriptor(int fd = -1) : m_fd(fd) {}
    ~CFileDescriptor() { Reset(-1); }
    CFileDescriptor(CFileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    CFileDescriptor& operator=(CFileDescriptor&& other) noexcept
    {
        Reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    // Closes the descriptor held and takes fd.
    void Reset(int fd);
    // Reads at most count bytes: how many were read, 0 at the end of the file, -1 on an
    // error. An interrupted read is tried again.
    std::ptrdiff_t Read(void* bytes, size_t count) const;

private:
    int m_fd;
};
