#pragma once

#include "ExchangeScript.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/socket.h>

enum class ExchangeOutcome
{
    Ok,
    ConnectFailed, // refused or unreachable: nothing listens
    TimedOut,      // the service stayed silent or kept the connection open
    ClosedEarly,   // the service closed before the exchange was complete
    WrongBytes,    // a reply differed from the exact bytes expected
};

struct ExchangeResult
{
    ExchangeOutcome outcome = ExchangeOutcome::Ok;
    std::string detail; // what went wrong, for the error summary

    bool Ok() const { return outcome == ExchangeOutcome::Ok; }
};

const char* OutcomeName(ExchangeOutcome outcome);

// An address of the service (or, with port 0, a source to bind to), IPv4 or IPv6.
struct ServiceAddress
{
    sockaddr_storage storage{};
    socklen_t length = 0;

    static ServiceAddress Loopback(uint16_t port, bool ipv6 = false);
    // The address in text, IPv4 or IPv6; throws std::invalid_argument when it is neither.
    static ServiceAddress Of(const std::string& text, uint16_t port);
    uint16_t Port() const;
};

// Speaks the protocol as a disk unit does, on plain blocking sockets: one request per
// connection, each header and each payload one write, every byte of every reply checked
// against what the service must send, then the service's close awaited.
class CRawUnitClient
{
public:
    // quickAck: acknowledge every segment at once (TCP_QUICKACK), for telling the service's
    // own delays apart from those that the peer's delayed ACKs cause; a unit does not.
    // source: the address the connections leave from, else the one the system picks.
    CRawUnitClient(const ServiceAddress& address, int timeOutMs, bool quickAck = false,
                   std::optional<ServiceAddress> source = std::nullopt)
        : m_address(address), m_source(std::move(source)), m_timeOutMs(timeOutMs), m_quickAck(quickAck)
    {}

    // Request 1: the request ACK, status (0, 0), the close.
    ExchangeResult Check() const;
    // Request 16 with the identifier and the mask. With a sealed key the reply must be that
    // key and status (0, 0); without one (nullptr) it must be status (2, 1).
    ExchangeResult GetKey(std::string_view id, std::string_view mask, const uint8_t* sealedKey) const;
    ExchangeResult Run(const ExchangeScript& script) const;

private:
    const ServiceAddress m_address;
    const std::optional<ServiceAddress> m_source;
    const int m_timeOutMs;
    const bool m_quickAck;
};
