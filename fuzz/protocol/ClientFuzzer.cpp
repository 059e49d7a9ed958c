// Feeds a hostile key server's bytes to the requester's end of a connection: each of the
// four requests reads its acknowledgements, data items and status from the input. Every
// way out must be one of the protocol's own errors; a crash, a hang or another exception
// is a finding. Input: byte 0 picks the request and seeds the chunking, the rest is what
// the server sends.
#include "CPeerBytes.h"
#include "net/CSocketError.h"
#include "net/CSocketEvent.h"
#include "net/CSocketTimeOut.h"
#include "protocol/AuthError.h"
#include "protocol/CKeyServerClient.h"
#include "protocol/ConnectError.h"
#include "protocol/InvalidRequest.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Error code of a failed send in the socket layer.
constexpr int32_t kSendErrorCode = 2;

// A client whose server is the fuzz input: reads are served from it, writes are taken and
// discarded until the server has closed.
class CFuzzClient : public CKeyServerClient
{
public:
    CFuzzClient(const uint8_t* data, size_t size, uint32_t seed) : m_server(data, size, seed | 1) {}

    void Open(const std::string&, uint16_t) override {}

    int Write(const void*, int length) override
    {
        if (m_server.Closed()) {
            throw ZiRez::CSocketError("CBaseSocket::Send: SendData Error!", kSendErrorCode);
        }
        return static_cast<int>(m_server.Take(static_cast<size_t>(length)));
    }

    int Read(void* buffer, int length, void*, int*) override
    {
        return static_cast<int>(m_server.Read(buffer, static_cast<size_t>(length)));
    }

private:
    CPeerBytes m_server;
};

CMaskBuffer Mask()
{
    CMaskBuffer mask;
    mask.Assign("0123456789abcdef", 16);
    return mask;
}

void Exchange(CFuzzClient& client, uint8_t selector)
{
    const std::vector<std::string> ids = {"00A0B0C0D0E0", "0123456789AB"};
    switch (selector % 4) {
    case 0:
        client.Check();
        break;
    case 1: {
        const CKeyRecord record = client.GetKey(ids[0], Mask());
        if (record.GetKey().Length() != CKeyRecord::kKeyLength) {
            std::abort(); // a key of another length was handed on
        }
        break;
    }
    case 2: {
        for (const CKeyRecord& record : client.FetchKeys("coop-pass", ids, Mask())) {
            if (record.GetKey().Length() != CKeyRecord::kKeyLength) {
                std::abort();
            }
        }
        break;
    }
    default: {
        CKeyRecord record;
        record.SetId(ids[1]);
        record.SetKey(std::string(32, '\x5A').data());
        client.StoreKeys("coop-pass", {record}, Mask());
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    CFuzzClient client(data + 1, size - 1, data[0]);
    try {
        Exchange(client, data[0]);
    } catch (const ZiRez::CSocketError&) {
    } catch (const ZiRez::CSocketTimeOut&) {
    } catch (const ZiRez::CSocketEvent&) {
    } catch (const KeyServer::AuthError&) {
    } catch (const KeyServer::ConnectError&) {
    } catch (const KeyServer::InvalidRequest&) {
    }
    return 0;
}
