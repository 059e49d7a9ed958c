#pragma once

#include "net/CConnectionSlots.h"
#include "net/CPeerAddress.h"
#include "net/CQueueAges.h"
#include "net/CServerSocket.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

namespace ZiRez {

// Stream server socket: listens on one port over IPv4 and IPv6 at once and accepts connections
// into numbered slots (CConnectionSlots). One thread accepts; each connection's thread reads,
// writes and closes its own slot.
//
// A slot's socket lives as long as any call still uses it: closing a slot (or the whole server)
// from another thread shuts the socket down, so a waiting reader wakes up with end-of-stream,
// and the descriptor is released after the last user lets go. A descriptor therefore never
// gets reused under a reader's feet.
class CStrmSrvSocket : public CServerSocket
{
public:
    CStrmSrvSocket(uint16_t family, int32_t type, bool ipv4Available, bool ipv6Available, uint16_t port,
                   Platform::CEvent* cancelEvent, int32_t timeOut);
    ~CStrmSrvSocket() override;

    // Opens, binds every resolved passive address of an available family, and listens: on
    // Linux with several listeners per family sharing the port (each with a queue of its
    // own), after a plain socket has found the port free.
    void Open(uint16_t port) override;

    // Waits for a connection (or the cancel event / the time-out) and returns its slot index.
    // An accept() that fails after readiness takes no slot: Accept waits again, after a short
    // pause when out of descriptors.
    int Accept() override;

    // The listeners, numbered for threads that wait for them themselves: the even ones
    // IPv4, the odd ones IPv6 (0 and 1 those of BaseSocket()). A number is held whether its
    // listener is open or not.
    static int ListenerCount();
    // Accepts a connection pending on a listener without waiting: its slot index, or -1 when
    // none is pending (another thread took it, it vanished, or descriptors ran out, after a
    // short pause then). CSocketError code 4 when the listener failed.
    int TryAccept(int listener);
    // TryAccept on the listener whose queue holds the connection that has waited longest
    // (see CQueueAges; where the system does not tell the queues' lengths, on each in turn
    // until one gives a connection).
    int TryAcceptQueued();
    // Calls use with a listener, which stays open until use returns; false (use not called)
    // when that listener is closed or absent.
    template <typename Use> bool UseListener(int listener, Use&& use)
    {
        std::shared_lock<std::shared_mutex> listeners(m_listenersLock);
        const SocketHandle socket = ListenerSocket(listener);
        if (socket == INVALID_SOCKET_HANDLE) {
            return false;
        }
        use(socket);
        return true;
    }
    // Closes the listening sockets once no TryAccept or UseListener uses them; connections
    // stay.
    void CloseListeners();
    // TCP_NODELAY on every listener (accepted sockets take it from theirs).
    void DisableNagle();

    int Write(int index, const void* bytes, int length) override;
    int Read(int index, void* buffer, int length) override;
    void Close() override;
    void CloseConnection(int index) override;

    // Cancel event and time-out for Read (by default those given to the constructor). With a
    // positive time-out a send that stalls that long fails too. Without a cancel event a
    // read is one blocking receive that the socket's own time-outs bound; accepted sockets
    // take them from the listeners.
    void SetReadWait(Platform::CEvent* cancelEvent, int32_t timeOut);
    // A limit on the whole life of each connection, from its accept (negative: none): a
    // read or send once it has passed, or that would wait beyond it, fails with
    // CSocketTimeOut "Request TimeOut Error!", however the peer trickles its bytes.
    void SetRequestDeadline(int32_t deadlineMs) { m_requestDeadlineMs = deadlineMs; }

    // Slots in use, not counting those already dropped.
    int ConnectionCount() const { return m_slots.Count(); }

    // Makes room for another connection: shuts down (does not close) the socket of the
    // connection whose peer has kept the server waiting longest, with nothing sent
    // meanwhile: at least silence since its accept when it never sent a byte, at least
    // stalled since a Read began to wait for it once it has. Its thread's wait then ends
    // and the thread closes the slot. A peer that has sent its request, and now waits for
    // the server, is never dropped. False when none qualifies.
    bool DropSilent(std::chrono::milliseconds silence, std::chrono::milliseconds stalled)
    {
        return m_slots.DropSilent(silence, stalled);
    }
    // Whether the slot's exchange moves on: it is the server's turn, or the peer has sent
    // bytes within recent (never one that has sent nothing yet). True for a free slot, whose
    // thread is done with it.
    bool PeerProgressing(int index, std::chrono::milliseconds recent) const;
    // Shuts down the connection in the slot, whatever its state; false when it is free or
    // already dropped.
    bool DropConnection(int index) { return m_slots.Drop(index); }

    // Numeric address text of a slot's peer ("" for a free or unknown slot).
    std::string GetPeerAddress(int index) const;
    // The slot's peer (unknown for a free slot).
    CPeerAddress GetPeer(int index) const;

    // For a thread that serves many connections without waiting on any, and owns their
    // slots (so their sockets stay open): the socket to poll, a send of what fits now (the
    // count sent, -1 on failure) and a receive of what is there (the count, 0 at the end or
    // on failure, -1 when nothing is there yet).
    SocketHandle ConnectionHandle(int index) const;
    int SendNow(int index, const void* bytes, int length);
    int ReceiveNow(int index, void* buffer, int length);

private:
    // Binds the pair's sockets to the resolved addresses of their families, on the given
    // ports where not 0.
    static void BindPassive(CBaseSocket& pair, const addrinfo* results, uint16_t ipv4Port, uint16_t ipv6Port);
    // The listener numbered so (INVALID_SOCKET_HANDLE when closed or absent).
    SocketHandle ListenerSocket(int listener) const;
    // One accept() on the listener: the slot index, or -1 with errno set.
    int AcceptOn(SocketHandle listener);
    // The read and send time-outs onto a socket (the listeners, or a connection accepted
    // before they changed).
    void ApplyTimeOuts(SocketHandle socket) const;
    int ReceiveBlocking(CServerConnection& connection, void* buffer, int length);
    // The ms a wait on the connection may take (-1: no limit): the read time-out, cut to what
    // is left of the request deadline; throws once that has passed. With socketTimeOuts the
    // cut is put on the socket's own time-outs, unless the silence limit would end the wait
    // at most kDeadlineSlackMs after the deadline (as it does for every request served at
    // once, which so needs no system call for it).
    int WaitAllowedMs(CServerConnection& connection, bool socketTimeOuts, int code);

    CConnectionSlots m_slots;
    Platform::CEvent* m_readCancelEvent;
    int32_t m_readTimeOut;
    std::atomic<int32_t> m_requestDeadlineMs{-1};
    // Changes with the read wait; a connection accepted before carries an older one.
    uint32_t m_timeOutsVersion = 0;
    // Held shared while a listener is used, exclusively to close them.
    std::shared_mutex m_listenersLock;
    // The listeners beyond BaseSocket()'s, one socket per family each, set up by Open.
    std::vector<std::unique_ptr<CBaseSocket>> m_sharers;
    std::mutex m_queueAgesLock;
    CQueueAges m_queueAges{static_cast<size_t>(ListenerCount())};
};

} // namespace ZiRez
