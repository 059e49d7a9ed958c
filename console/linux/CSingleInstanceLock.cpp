#include "console/CSingleInstanceLock.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The name in the abstract namespace: a leading NUL, then the name's bytes.
socklen_t AbstractAddress(const std::string& name, sockaddr_un& address)
{
    address = {};
    address.sun_family = AF_UNIX;
    const size_t length = std::min(name.size(), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, name.data(), length);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
}

} // namespace

CSingleInstanceLock::CSingleInstanceLock(std::string name) : m_name(std::move(name)) {}

CSingleInstanceLock::~CSingleInstanceLock()
{
    if (m_handle >= 0) {
        close(static_cast<int>(m_handle));
    }
}

ELockOutcome CSingleInstanceLock::Acquire()
{
    if (m_handle >= 0) {
        return ELockOutcome::Acquired;
    }
    if (IsHeldElsewhere()) {
        return ELockOutcome::HeldElsewhere;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return ELockOutcome::CreateFailed;
    }
    sockaddr_un address;
    const socklen_t length = AbstractAddress(m_name, address);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0 || listen(fd, 1) != 0) {
        close(fd);
        return ELockOutcome::CreateFailed;
    }
    m_handle = fd;
    return ELockOutcome::Acquired;
}

bool CSingleInstanceLock::IsHeldElsewhere() const
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_un address;
    const socklen_t length = AbstractAddress(m_name, address);
    int result;
    do {
        result = connect(fd, reinterpret_cast<const sockaddr*>(&address), length);
    } while (result != 0 && errno == EINTR);
    // A full backlog still means somebody listens there.
    const bool held = result == 0 || errno == EAGAIN;
    close(fd);
    return held;
}
