#pragma once

#include "CReceiveBudget.h"
#include "Packet.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace ZiRez {
class CServerSocket;
}

// The service's end of one accepted connection: the packet operations over the server
// socket's slot. Its destruction closes the connection, once, whichever way the request
// ended. Errors are thrown (CSocketError code 10 for framing, the socket layer's own
// exceptions unchanged); no status is sent for a receive error.
//
// An ACK leaves with the next packet this end sends (one write, one segment, one wake-up
// of the peer fewer), and at the latest before this end waits for the peer or closes.
// Small reads take what the peer has sent up to kReadAhead bytes in one receive: a packet's
// header and payload arrive together and cost one call, not two.
class CRequestConnection
{
public:
    CRequestConnection(std::shared_ptr<ZiRez::CServerSocket> server, int index,
                       CReceiveBudget::CAccount* account = nullptr);
    ~CRequestConnection();
    CRequestConnection(const CRequestConnection&) = delete;
    CRequestConnection& operator=(const CRequestConnection&) = delete;

    // A header the peer's close leaves incomplete reads as (0, 0).
    PacketHeader ReceiveHeader();
    // Acknowledges a request packet and returns its code; any other first packet is
    // answered with PT_REJECT and status (1, 0), then "Invalid Packet Receive Error!".
    int ReceiveRequest();

    void SendInt(int32_t value);
    void SendData(const void* bytes, size_t length);
    void SendStatus(uint32_t status, uint32_t detail);

    int32_t ReceiveInt();
    void ReceiveData(std::string& out);
    // Appends the payload of a data packet to buffer (items of a request kept back to back
    // rather than each on its own); returns its length.
    size_t ReceiveDataAppend(std::string& buffer);

    // Gives the connection up without closing it or sending anything (its new holder
    // closes it), and returns the bytes that would end the request with this status: an
    // ACK still owed, then the status packet. readAhead receives the count of bytes the
    // peer sent beyond the request, already read (its early ACK, for one).
    std::string Detach(uint32_t status, uint32_t detail, size_t& readAhead);

    int Index() const { return m_index; }
    // True once ReceiveRequest has answered a first packet that was no request with
    // PT_REJECT and status (1, 0).
    bool Rejected() const { return m_rejected; }

private:
    void SendAck();
    // Sends an ACK still owed, before this end waits for the peer.
    void FlushAck();
    void WritePacket(const PacketHeader& header, const void* payload, size_t length);
    // Bytes already received first, else one read of the socket layer.
    int ReadSome(void* buffer, int length);
    // Reads until the buffer is full or the peer closed; returns the count received.
    size_t ReadAll(void* buffer, size_t length);
    void ReadPayload(void* buffer, size_t length);
    void ExpectAck();
    // The payload length of a data packet, checked and charged before anything is read.
    // With appendTo, the item joins that buffer.
    size_t ReceiveDataHeader(const std::string* appendTo = nullptr);
    // Counts the item against the request's limit, and the memory it holds against the
    // budget of all connections.
    void ChargeItem(size_t length, size_t held);

    std::shared_ptr<ZiRez::CServerSocket> m_server;
    int m_index;
    CReceiveBudget::CAccount* m_account;
    size_t m_received = 0;
    bool m_rejected = false;
    bool m_ackOwed = false;
    static constexpr int kReadAhead = 256;
    uint8_t m_ahead[kReadAhead];
    int m_aheadBegin = 0;
    int m_aheadEnd = 0;
};
