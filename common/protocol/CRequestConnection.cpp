#include "CRequestConnection.h"

#include "FieldIo.h"
#include "net/CServerSocket.h"
#include "net/CSocketError.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr const char* kBoundMessage = "Received Items Bound Error!";

[[noreturn]] void ThrowPacketError(const char* message)
{
    throw ZiRez::CSocketError(message, kPacketErrorCode);
}

} // namespace

CRequestConnection::CRequestConnection(std::shared_ptr<ZiRez::CServerSocket> server, int index,
                                       CReceiveBudget::CAccount* account)
    : m_server(std::move(server)), m_index(index), m_account(account)
{}

CRequestConnection::~CRequestConnection()
{
    if (!m_server) {
        return;
    }
    try {
        FlushAck();
    } catch (const std::exception&) {
        // The peer is gone; the connection closes all the same.
    }
    m_server->CloseConnection(m_index);
}

PacketHeader CRequestConnection::ReceiveHeader()
{
    uint8_t bytes[kHeaderSize] = {};
    if (ReadAll(bytes, sizeof bytes) < sizeof bytes) {
        return {0, 0};
    }
    return DecodeHeader(bytes);
}

int CRequestConnection::ReceiveRequest()
{
    const PacketHeader header = ReceiveHeader();
    if (header.type == PT_REQUEST) {
        SendAck();
        return static_cast<int>(header.value);
    }
    m_rejected = true;
    WritePacket({PT_REJECT, 0}, nullptr, 0);
    SendStatus(ST_UNSUPPORTED, 0);
    ThrowPacketError("Invalid Packet Receive Error!");
}

void CRequestConnection::SendInt(int32_t value)
{
    uint8_t bytes[kIntSize];
    EncodeInt(value, bytes);
    WritePacket({PT_DATA, kIntSize}, bytes, sizeof bytes);
    ExpectAck();
}

void CRequestConnection::SendData(const void* bytes, size_t length)
{
    if (length > UINT32_MAX) {
        ThrowPacketError("Data Size Invalid Error!");
    }
    WritePacket({PT_DATA, static_cast<uint32_t>(length)}, bytes, length);
    ExpectAck();
}

void CRequestConnection::SendStatus(uint32_t status, uint32_t detail)
{
    uint8_t bytes[kStatusBlockSize];
    EncodeStatus({status, detail, 0, 0}, bytes);
    WritePacket({PT_STATUS, kStatusBlockSize}, bytes, sizeof bytes);
    ExpectAck();
}

int32_t CRequestConnection::ReceiveInt()
{
    const PacketHeader header = ReceiveHeader();
    if (header.type == PT_DATA && header.value != 0) {
        // The payload of a wrongly sized integer stays unread: the connection ends anyway.
        if (header.value != kIntSize) {
            ThrowPacketError("Int Size Invalid Error!");
        }
        ChargeItem(kIntSize, kIntSize);
        uint8_t bytes[kIntSize];
        ReadPayload(bytes, sizeof bytes);
        SendAck();
        return DecodeInt(bytes);
    }
    ThrowPacketError(header.value != 0 ? "Data packet Receive Error!" : "No Data Error!");
}

size_t CRequestConnection::ReceiveDataHeader(const std::string* appendTo)
{
    const PacketHeader header = ReceiveHeader();
    if (header.type != PT_DATA || header.value == 0) {
        ThrowPacketError(header.value != 0 ? "Data packet Receive Error!" : "No Data Error!");
    }
    // Checked before anything is allocated: the length is whatever a stranger announced.
    if (header.value > kMaxDataLength) {
        ThrowPacketError("Data Size Invalid Error!");
    }
    // What the item takes of memory: its own string, or what the buffer it joins grows by
    // (ahead, as strings grow, so that many items cost few copies).
    size_t held = header.value;
    if (appendTo != nullptr) {
        const size_t needed = appendTo->size() + header.value;
        held = needed > appendTo->capacity() ? std::max(needed, 2 * appendTo->capacity()) - appendTo->capacity() : 0;
    }
    ChargeItem(header.value, held);
    return header.value;
}

void CRequestConnection::ReceiveData(std::string& out)
{
    std::string bytes(ReceiveDataHeader(), '\0');
    ReadPayload(bytes.data(), bytes.size());
    out = std::move(bytes);
    SendAck();
}

size_t CRequestConnection::ReceiveDataAppend(std::string& buffer)
{
    const size_t length = ReceiveDataHeader(&buffer);
    const size_t at = buffer.size();
    if (at + length > buffer.capacity()) {
        buffer.reserve(std::max(at + length, 2 * buffer.capacity()));
    }
    buffer.resize(at + length);
    ReadPayload(buffer.data() + at, length);
    SendAck();
    return length;
}

std::string CRequestConnection::Detach(uint32_t status, uint32_t detail, size_t& readAhead)
{
    readAhead = static_cast<size_t>(m_aheadEnd - m_aheadBegin);
    uint8_t block[kStatusBlockSize];
    EncodeStatus({status, detail, 0, 0}, block);
    std::string bytes;
    WritePacketFully(
        [&bytes](const void* data, int count) {
            bytes.append(static_cast<const char*>(data), static_cast<size_t>(count));
            return count;
        },
        {PT_STATUS, kStatusBlockSize}, block, sizeof block, std::exchange(m_ackOwed, false));
    m_server.reset();
    return bytes;
}

void CRequestConnection::SendAck()
{
    m_ackOwed = true;
}

void CRequestConnection::FlushAck()
{
    if (m_ackOwed) {
        m_ackOwed = false;
        WritePacket({PT_ACK, 0}, nullptr, 0);
    }
}

void CRequestConnection::ExpectAck()
{
    if (ReceiveHeader().type != PT_ACK) {
        ThrowPacketError("ACK Receive Error!");
    }
}

void CRequestConnection::ChargeItem(size_t length, size_t held)
{
    const size_t charged = length + kItemOverhead;
    if (charged > kMaxRequestItems - m_received) {
        ThrowPacketError("Data Size Invalid Error!");
    }
    m_received += charged;
    if (m_account != nullptr && !m_account->Charge(held + kItemOverhead)) {
        ThrowPacketError(kBoundMessage);
    }
}

void CRequestConnection::WritePacket(const PacketHeader& header, const void* payload, size_t length)
{
    const bool ackFirst = std::exchange(m_ackOwed, false);
    WritePacketFully([this](const void* bytes, int count) { return m_server->Write(m_index, bytes, count); }, header,
                     payload, length, ackFirst);
}

int CRequestConnection::ReadSome(void* buffer, int length)
{
    // Every packet read is acknowledged before the next one, whether received yet or not.
    FlushAck();
    if (m_aheadBegin == m_aheadEnd) {
        // A large payload goes straight to its place; nothing is ever read ahead of it.
        const bool direct = length >= kReadAhead;
        const int received = m_server->Read(m_index, direct ? buffer : m_ahead, direct ? length : kReadAhead);
        // A connection closed to bring the items of all connections under their bound says so.
        if (received <= 0 && m_account != nullptr && m_account->Evicted()) {
            ThrowPacketError(kBoundMessage);
        }
        if (direct || received <= 0) {
            return received;
        }
        m_aheadBegin = 0;
        m_aheadEnd = received;
    }
    const int taken = std::min(length, m_aheadEnd - m_aheadBegin);
    std::memcpy(buffer, m_ahead + m_aheadBegin, static_cast<size_t>(taken));
    m_aheadBegin += taken;
    return taken;
}

size_t CRequestConnection::ReadAll(void* buffer, size_t length)
{
    return ReadFully([this](void* bytes, int count) { return ReadSome(bytes, count); }, buffer, length);
}

void CRequestConnection::ReadPayload(void* buffer, size_t length)
{
    ReadPayloadFully([this](void* bytes, int count) { return ReadSome(bytes, count); }, buffer, length);
}
