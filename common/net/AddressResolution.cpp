#include "net/AddressResolution.h"

#include "SystemSockets.h"
#include "net/CSocketError.h"
#include "net/SocketErrors.h"
#include "net/SocketTypes.h"

#include <cstring>

namespace ZiRez {

namespace {

constexpr int32_t kCodeAddress = 11;
constexpr const char* kAddressError = "NetStringToAddress error!";

// getaddrinfo() with hints that set only the family; the list is freed on scope exit.
class CResolved
{
public:
    CResolved(const std::string& host, int family)
    {
        addrinfo hints{};
        hints.ai_family = family;
        m_result = getaddrinfo(host.c_str(), nullptr, &hints, &m_list);
        if (m_result != 0) {
            m_list = nullptr;
        }
    }
    ~CResolved()
    {
        if (m_list != nullptr) {
            freeaddrinfo(m_list);
        }
    }
    CResolved(const CResolved&) = delete;
    CResolved& operator=(const CResolved&) = delete;

    int Result() const { return m_result; }
    const addrinfo* First() const { return m_list; }

private:
    addrinfo* m_list = nullptr;
    int m_result = 0;
};

bool IsHostOf(const std::string& host, int family)
{
    if (host.empty()) {
        return false;
    }
    const CResolved resolved(host, family);
    return resolved.First() != nullptr && resolved.First()->ai_family == family;
}

} // namespace

bool IsIPv4Host(const std::string& host)
{
    return IsHostOf(host, AF_INET);
}

bool IsIPv6Host(const std::string& host)
{
    return IsHostOf(host, AF_INET6);
}

uint16_t GetAddressFamily(const std::string& host)
{
    if (IsIPv4Host(host)) {
        return FAMILY_INET;
    }
    if (IsIPv6Host(host)) {
        return FAMILY_INET6;
    }
    return FAMILY_UNSPEC;
}

void StringToAddress(uint16_t family, const std::string& host, void* buffer, size_t size)
{
    int systemFamily;
    size_t needed;
    if (family == FAMILY_INET) {
        systemFamily = AF_INET;
        needed = IPV4_ADDRESS_SIZE;
    } else if (family == FAMILY_INET6) {
        systemFamily = AF_INET6;
        needed = IPV6_ADDRESS_SIZE;
    } else {
        SetLastSocketError(10047);
        throw CSocketError(kAddressError, kCodeAddress);
    }
    if (buffer == nullptr || host.empty() || size < needed) {
        SetLastSocketError(10022);
        throw CSocketError(kAddressError, kCodeAddress);
    }
    const CResolved resolved(host, systemFamily);
    if (resolved.Result() != 0) {
        SetLastSocketErrorFromResolver(resolved.Result());
        throw CSocketError(kAddressError, kCodeAddress);
    }
    const addrinfo* first = resolved.First();
    if (first == nullptr || first->ai_family != systemFamily || first->ai_addrlen > size) {
        SetLastSocketError(11004);
        throw CSocketError(kAddressError, kCodeAddress);
    }
    std::memcpy(buffer, first->ai_addr, first->ai_addrlen);
}

uint16_t NetStringToAddress(void* buffer, const std::string& host, uint16_t port)
{
    const uint16_t family = GetAddressFamily(host);
    const uint16_t networkPort = htons(port);
    if (family == FAMILY_INET) {
        std::memset(buffer, 0, IPV4_ADDRESS_SIZE);
        StringToAddress(family, host, buffer, IPV4_ADDRESS_SIZE);
        auto* address = static_cast<sockaddr_in*>(buffer);
        address->sin_family = AF_INET;
        address->sin_port = networkPort;
        return networkPort;
    }
    if (family == FAMILY_INET6) {
        std::memset(buffer, 0, IPV6_ADDRESS_SIZE);
        StringToAddress(family, host, buffer, IPV6_ADDRESS_SIZE);
        auto* address = static_cast<sockaddr_in6*>(buffer);
        address->sin6_family = AF_INET6;
        address->sin6_port = networkPort;
        return networkPort;
    }
    if (buffer != nullptr) {
        std::memset(buffer, 0, IPV4_ADDRESS_SIZE);
    }
    return 0;
}

} // namespace ZiRez
