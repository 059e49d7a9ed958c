#pragma once

#include "Packet.h"
#include "keys/CKeyRecord.h"
#include "keys/CMaskBuffer.h"
#include "net/CStrmCltSocket.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The requester's end of a key-server connection: the packet operations and the four
// requests. One object serves one connection and one request, which has one deadline from
// Open on, however a server trickles its bytes: a wait past it throws CSocketTimeOut.
class CKeyServerClient : public ZiRez::CStrmCltSocket
{
public:
    static constexpr int32_t kTimeOut = 10000;

    CKeyServerClient();
    ~CKeyServerClient() override;

    // The whole request's time (milliseconds) for clients made from now on in this process
    // (a tool's --timeout); kTimeOut to start with.
    static void SetDefaultTimeOut(int32_t timeOut);
    static int32_t DefaultTimeOut();
    // This client's, before Open.
    void SetTimeOut(int32_t timeOut) { m_limit = timeOut; }

    // Connects to a key server; any failure of it is KeyServer::ConnectError "Open fail".
    void Open(const std::string& host, uint16_t port) override;

    void SendRequest(uint32_t code);
    void SendInt(int32_t value);
    void SendData(const void* bytes, size_t length);
    void SendData(std::string_view bytes) { SendData(bytes.data(), bytes.size()); }
    int32_t ReceiveInt();
    void ReceiveData(std::string& out);
    // Reads a status packet (a fresh header, or the one already read) and acknowledges it;
    // the block is kept as the last status.
    StatusBlock ReceiveStatus(const PacketHeader* header = nullptr);
    // Throws the error that a status read in an error position stands for; returns for
    // any status without one (0 included).
    void CheckStatus(const StatusBlock& block) const;

    const StatusBlock& LastStatus() const { return m_lastStatus; }

    virtual StatusBlock Check();
    // The returned record holds only the 32 received key bytes, still sealed.
    virtual CKeyRecord GetKey(std::string_view id, const CMaskBuffer& mask);
    virtual std::vector<CKeyRecord> FetchKeys(std::string_view password, const std::vector<std::string>& ids,
                                              const CMaskBuffer& mask);
    // The records' keys are sent as they are: the caller has sealed them for transfer.
    virtual void StoreKeys(std::string_view password, const std::vector<CKeyRecord>& records, const CMaskBuffer& mask);

    // The password with the mask added byte by byte, without cycling the mask.
    static CMaskBuffer MaskPassword(std::string_view password, const CMaskBuffer& mask);

private:
    using Clock = std::chrono::steady_clock;

    // Limits the next wait to what is left of the request's time; throws CSocketTimeOut
    // when none is left.
    void LimitToDeadline();
    PacketHeader ReceiveHeader();
    void WritePacket(const PacketHeader& header, const void* payload, size_t length);
    void SendAck();
    size_t ReadAll(void* buffer, size_t length);
    void ReadPayload(void* buffer, size_t length);
    void CheckAck();
    PacketHeader CheckData();
    void InterceptStatus(const PacketHeader& header);

    StatusBlock m_lastStatus{};
    int32_t m_limit;
    Clock::time_point m_deadline = Clock::time_point::max();
};
