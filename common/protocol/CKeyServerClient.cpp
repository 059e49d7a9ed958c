#include "CKeyServerClient.h"

#include "AuthError.h"
#include "ConnectError.h"
#include "FieldIo.h"
#include "InvalidRequest.h"
#include "net/CSocketError.h"
#include "net/CSocketTimeOut.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

namespace {

[[noreturn]] void ThrowPacketError(const char* message)
{
    throw ZiRez::CSocketError(message, kPacketErrorCode);
}

std::atomic<int32_t> g_defaultTimeOut{CKeyServerClient::kTimeOut};

} // namespace

CKeyServerClient::CKeyServerClient()
    : ZiRez::CStrmCltSocket(ZiRez::FAMILY_INET, nullptr, g_defaultTimeOut.load()), m_limit(g_defaultTimeOut.load())
{}

CKeyServerClient::~CKeyServerClient() = default;

void CKeyServerClient::SetDefaultTimeOut(int32_t timeOut)
{
    g_defaultTimeOut = timeOut;
}

int32_t CKeyServerClient::DefaultTimeOut()
{
    return g_defaultTimeOut.load();
}

void CKeyServerClient::LimitToDeadline()
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now()).count();
    if (left <= 0) {
        throw ZiRez::CSocketTimeOut("Socket TimeOut Error!", 3);
    }
    LimitWaits(static_cast<int32_t>(std::min<int64_t>(left, m_limit)));
}

void CKeyServerClient::Open(const std::string& host, uint16_t port)
{
    m_deadline = Clock::now() + std::chrono::milliseconds(m_limit);
    m_timeOut = m_limit;
    try {
        ZiRez::CStrmCltSocket::Open(host, port);
    } catch (...) {
        throw KeyServer::ConnectError("Open fail");
    }
}

void CKeyServerClient::SendRequest(uint32_t code)
{
    try {
        WritePacket({PT_REQUEST, code}, nullptr, 0);
    } catch (const ZiRez::CSocketTimeOut&) {
        throw KeyServer::ConnectError("Send Request: timeout!!");
    }
    CheckAck();
}

void CKeyServerClient::SendInt(int32_t value)
{
    uint8_t bytes[kIntSize];
    EncodeInt(value, bytes);
    WritePacket({PT_DATA, kIntSize}, bytes, sizeof bytes);
    CheckAck();
}

void CKeyServerClient::SendData(const void* bytes, size_t length)
{
    if (length > UINT32_MAX) {
        ThrowPacketError("Data Size Invalid Error!");
    }
    WritePacket({PT_DATA, static_cast<uint32_t>(length)}, bytes, length);
    CheckAck();
}

int32_t CKeyServerClient::ReceiveInt()
{
    const PacketHeader header = CheckData();
    if (header.value != kIntSize) {
        ThrowPacketError("Int Size Invalid Error!");
    }
    uint8_t bytes[kIntSize];
    ReadPayload(bytes, sizeof bytes);
    SendAck();
    return DecodeInt(bytes);
}

void CKeyServerClient::ReceiveData(std::string& out)
{
    const PacketHeader header = CheckData();
    // A server is a stranger too: refuse an absurd length before allocating it.
    if (header.value > kMaxDataLength) {
        ThrowPacketError("Data Size Invalid Error!");
    }
    std::string bytes(header.value, '\0');
    ReadPayload(bytes.data(), bytes.size());
    out = std::move(bytes);
    SendAck();
}

StatusBlock CKeyServerClient::ReceiveStatus(const PacketHeader* header)
{
    const PacketHeader received = header != nullptr ? *header : ReceiveHeader();
    if (received.type != PT_STATUS || received.value != kStatusBlockSize) {
        ThrowPacketError("Status Packet Receive Error!");
    }
    uint8_t bytes[kStatusBlockSize];
    ReadPayload(bytes, sizeof bytes);
    m_lastStatus = DecodeStatus(bytes);
    SendAck();
    return m_lastStatus;
}

void CKeyServerClient::CheckStatus(const StatusBlock& block) const
{
    switch (block.status) {
    case ST_UNSUPPORTED:
        throw KeyServer::InvalidRequest("Request is not supported!!");
    case ST_EXEC_ERROR:
        ThrowPacketError("Request execution error!!");
    case ST_AUTH_ERROR:
        throw KeyServer::AuthError("Invalid password!");
    default:
        return;
    }
}

StatusBlock CKeyServerClient::Check()
{
    SendRequest(REQ_CHECK);
    return ReceiveStatus();
}

CKeyRecord CKeyServerClient::GetKey(std::string_view id, const CMaskBuffer& mask)
{
    SendRequest(REQ_GET_KEY);
    SendData(id);
    SendData(mask.Data(), mask.Length());
    std::string key;
    ReceiveData(key);
    if (ReceiveStatus().status != ST_OK) {
        ThrowPacketError("Status Packet Receive Error!");
    }
    if (key.size() != CKeyRecord::kKeyLength) {
        ThrowPacketError("Data Size Invalid Error!");
    }
    CKeyRecord record;
    record.SetKey(key.data());
    return record;
}

std::vector<CKeyRecord> CKeyServerClient::FetchKeys(std::string_view password, const std::vector<std::string>& ids,
                                                    const CMaskBuffer& mask)
{
    SendRequest(REQ_FETCH_KEYS);
    const CMaskBuffer masked = MaskPassword(password, mask);
    try {
        SendData(masked.Data(), masked.Length());
    } catch (const ZiRez::CSocketTimeOut&) {
        throw;
    } catch (...) {
        // A server that refuses this step does not know the request.
        throw KeyServer::InvalidRequest("Request is not supported!!");
    }
    SendInt(static_cast<int32_t>(ids.size()));
    for (const std::string& id : ids) {
        SendData(id);
    }
    SendData(mask.Data(), mask.Length());

    // No more keys than a request may ask for, whatever count the server announces.
    const int32_t count = ReceiveInt();
    if (count > kMaxItemCount) {
        ThrowPacketError("Data Size Invalid Error!");
    }
    std::vector<CKeyRecord> keys;
    for (int32_t i = 0; i < count; ++i) {
        std::string key;
        ReceiveData(key);
        if (key.size() != CKeyRecord::kKeyLength) {
            ThrowPacketError("Data Size Invalid Error!");
        }
        keys.emplace_back().SetKey(key.data());
    }
    if (ReceiveStatus().status != ST_OK) {
        ThrowPacketError("Status Packet Receive Error!");
    }
    return keys;
}

void CKeyServerClient::StoreKeys(std::string_view password, const std::vector<CKeyRecord>& records,
                                 const CMaskBuffer& mask)
{
    SendRequest(REQ_STORE_KEYS);
    const CMaskBuffer masked = MaskPassword(password, mask);
    SendData(masked.Data(), masked.Length());
    SendInt(static_cast<int32_t>(records.size()));
    for (const CKeyRecord& record : records) {
        SendData(record.GetId());
        SendData(record.GetKey().Data(), record.GetKey().Length());
    }
    SendData(mask.Data(), mask.Length());

    // Only the first status counts: a (2, 4) for any pair makes the whole copy a failure.
    const StatusBlock status = ReceiveStatus();
    if (status.status == ST_OK) {
        return;
    }
    if (status.status == ST_AUTH_ERROR) {
        throw KeyServer::AuthError("Invalid password!");
    }
    ThrowPacketError("Status Packet Receive Error!");
}

CMaskBuffer CKeyServerClient::MaskPassword(std::string_view password, const CMaskBuffer& mask)
{
    CMaskBuffer masked(password.data(), password.size());
    masked.Add(mask);
    return masked;
}

PacketHeader CKeyServerClient::ReceiveHeader()
{
    uint8_t bytes[kHeaderSize] = {};
    if (ReadAll(bytes, sizeof bytes) < sizeof bytes) {
        return {0, 0};
    }
    return DecodeHeader(bytes);
}

void CKeyServerClient::CheckAck()
{
    const PacketHeader header = ReceiveHeader();
    if (header.type == PT_ACK) {
        return;
    }
    if (header.type == PT_REJECT || header.type == PT_STATUS) {
        InterceptStatus(header);
    }
    ThrowPacketError("Send data receiving ACK Error!");
}

PacketHeader CKeyServerClient::CheckData()
{
    const PacketHeader header = ReceiveHeader();
    if (header.type == PT_DATA) {
        return header;
    }
    if (header.type == PT_REJECT || header.type == PT_STATUS) {
        InterceptStatus(header);
    }
    ThrowPacketError("Data packet Receive Error!");
}

// A reject announces the status packet that follows it; a status header is the packet.
void CKeyServerClient::InterceptStatus(const PacketHeader& header)
{
    CheckStatus(header.type == PT_REJECT ? ReceiveStatus() : ReceiveStatus(&header));
}

void CKeyServerClient::SendAck()
{
    WritePacket({PT_ACK, 0}, nullptr, 0);
}

void CKeyServerClient::WritePacket(const PacketHeader& header, const void* payload, size_t length)
{
    const auto write = [this](const void* bytes, int count) {
        LimitToDeadline();
        const int sent = Write(bytes, count);
        // A send cut short by the time limit is the deadline's, not a broken connection.
        if (sent <= 0 && Clock::now() >= m_deadline) {
            throw ZiRez::CSocketTimeOut("Socket TimeOut Error!", 2);
        }
        return sent;
    };
    WritePacketFully(write, header, payload, length);
}

size_t CKeyServerClient::ReadAll(void* buffer, size_t length)
{
    return ReadFully(
        [this](void* bytes, int count) {
            LimitToDeadline();
            return Read(bytes, count);
        },
        buffer, length);
}

void CKeyServerClient::ReadPayload(void* buffer, size_t length)
{
    ReadPayloadFully(
        [this](void* bytes, int count) {
            LimitToDeadline();
            return Read(bytes, count);
        },
        buffer, length);
}
