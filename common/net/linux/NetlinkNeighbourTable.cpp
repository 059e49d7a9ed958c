// The neighbour table through rtnetlink: the route to the peer names its interface (or
// says it is local, or behind a router), then the neighbour entry of the peer on that
// interface gives its link-layer address. One netlink socket per thread, kept while the
// thread lives: two requests per look-up, no socket set up for each.
#include "net/CNeighbourTable.h"

#include <cerrno>
#include <cstring>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace ZiRez {

namespace {

// A reply later than this is given up (the kernel answers at once).
constexpr int kReplyWaitMs = 1000;

class CRouteSocket
{
public:
    CRouteSocket() : m_fd(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE))
    {
        if (m_fd >= 0) {
            const timeval wait{0, kReplyWaitMs * 1000};
            setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        }
    }
    ~CRouteSocket()
    {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    CRouteSocket(const CRouteSocket&) = delete;
    CRouteSocket& operator=(const CRouteSocket&) = delete;
    int Fd() const { return m_fd; }
    uint32_t NextSequence() { return ++m_sequence; }

private:
    int m_fd;
    uint32_t m_sequence = 0;
};

struct SRequest
{
    nlmsghdr header;
    union {
        rtmsg route;
        ndmsg neighbour;
    };
    uint8_t attributes[RTA_SPACE(16)];
};

void AddDestination(SRequest& request, size_t bodySize, unsigned short type, const CPeerAddress& peer)
{
    request.header.nlmsg_len = static_cast<uint32_t>(NLMSG_LENGTH(bodySize));
    auto* attribute =
        reinterpret_cast<rtattr*>(reinterpret_cast<uint8_t*>(&request) + NLMSG_ALIGN(request.header.nlmsg_len));
    attribute->rta_type = type;
    attribute->rta_len = static_cast<unsigned short>(RTA_LENGTH(peer.Length()));
    std::memcpy(RTA_DATA(attribute), peer.Bytes(), peer.Length());
    request.header.nlmsg_len = static_cast<uint32_t>(NLMSG_ALIGN(request.header.nlmsg_len) + RTA_SPACE(peer.Length()));
}

// Sends the request and receives its answer into reply: 0, or the errno of the failure
// (the kernel's own for a refused request).
int Exchange(CRouteSocket& route, SRequest& request, uint8_t (&reply)[8192], const nlmsghdr*& answer)
{
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.header.nlmsg_seq = route.NextSequence();
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (sendto(route.Fd(), &request, request.header.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) <
        0) {
        return errno;
    }
    for (;;) {
        const ssize_t got = recv(route.Fd(), reply, sizeof reply, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        auto length = static_cast<unsigned int>(got);
        for (auto* message = reinterpret_cast<const nlmsghdr*>(reply); NLMSG_OK(message, length);
             message = NLMSG_NEXT(message, length)) {
            // Answers to requests given up earlier are passed over.
            if (message->nlmsg_seq != request.header.nlmsg_seq) {
                continue;
            }
            if (message->nlmsg_type == NLMSG_ERROR) {
                const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(message));
                return error->error != 0 ? -error->error : ENODATA;
            }
            answer = message;
            return 0;
        }
    }
}

std::string Why(const char* what, int error)
{
    return std::string(what) + ": " + std::strerror(error);
}

} // namespace

class CNetlinkNeighbourTable : public CNeighbourTable
{
public:
    SNeighbour LinkAddressOf(const CPeerAddress& peer) override
    {
        thread_local CRouteSocket route;
        SNeighbour result;
        if (route.Fd() < 0) {
            result.why = Why("no netlink socket", errno);
            return result;
        }
        const unsigned char family = peer.Family() == 4 ? AF_INET : AF_INET6;
        uint8_t reply[8192];
        int interface = static_cast<int>(peer.ScopeId());
        if (interface == 0) {
            SRequest request{};
            request.header.nlmsg_type = RTM_GETROUTE;
            request.route.rtm_family = family;
            request.route.rtm_dst_len = static_cast<unsigned char>(peer.Length() * 8);
            AddDestination(request, sizeof(rtmsg), RTA_DST, peer);
            const nlmsghdr* answer = nullptr;
            if (const int error = Exchange(route, request, reply, answer); error != 0) {
                result.outcome = error == ENETUNREACH || error == EHOSTUNREACH ? Outcome::Missing : Outcome::Failed;
                result.why = Why("no route to the peer", error);
                return result;
            }
            const auto* found = static_cast<const rtmsg*>(NLMSG_DATA(answer));
            if (found->rtm_type == RTN_LOCAL) {
                result.outcome = Outcome::Local;
                return result;
            }
            auto length = static_cast<int>(RTM_PAYLOAD(answer));
            bool gateway = false;
            for (auto* attribute = RTM_RTA(found); RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) {
                if (attribute->rta_type == RTA_OIF) {
                    std::memcpy(&interface, RTA_DATA(attribute), sizeof interface);
                } else if (attribute->rta_type == RTA_GATEWAY || attribute->rta_type == RTA_VIA) {
                    gateway = true;
                }
            }
            if (gateway) {
                result.outcome = Outcome::Routed;
                result.why = "the peer is behind a router";
                return result;
            }
        }
        SRequest request{};
        request.header.nlmsg_type = RTM_GETNEIGH;
        request.neighbour.ndm_family = family;
        request.neighbour.ndm_ifindex = interface;
        AddDestination(request, sizeof(ndmsg), NDA_DST, peer);
        const nlmsghdr* answer = nullptr;
        if (const int error = Exchange(route, request, reply, answer); error != 0) {
            result.outcome = error == ENOENT ? Outcome::Missing : Outcome::Failed;
            result.why = error == ENOENT ? "no neighbour entry for the peer" : Why("neighbour table", error);
            return result;
        }
        const auto* found = static_cast<const ndmsg*>(NLMSG_DATA(answer));
        auto length = static_cast<int>(answer->nlmsg_len - NLMSG_LENGTH(sizeof(ndmsg)));
        const auto* attribute =
            reinterpret_cast<const rtattr*>(reinterpret_cast<const uint8_t*>(found) + NLMSG_ALIGN(sizeof(ndmsg)));
        const bool usable = (found->ndm_state & (NUD_INCOMPLETE | NUD_FAILED | NUD_NOARP)) == 0;
        for (; RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) {
            if (attribute->rta_type == NDA_LLADDR && RTA_PAYLOAD(attribute) == result.address.size() && usable) {
                std::memcpy(result.address.data(), RTA_DATA(attribute), result.address.size());
                result.outcome = Outcome::Found;
                return result;
            }
        }
        result.outcome = Outcome::Missing;
        result.why = "no link-layer address known for the peer";
        return result;
    }
};

std::unique_ptr<CNeighbourTable> CreateNeighbourTable()
{
    return std::make_unique<CNetlinkNeighbourTable>();
}

} // namespace ZiRez
