// Feeds a hostile key server's bytes to the requester's end of a connection: each of the
// four requests reads its acknowledgements, data items and status from the input. Every
// way out must be one of the protocol's own errors; a crash, a hang or another exception
// is a finding. Input: byte 0 picks the request and seeds the chunking, the rest is what
// the server sends.
#include "protocol/AuthError.h"
#include "protocol/CKeyServerClient.h"
#include "protocol/ConnectError.h"
#include "protocol/InvalidRequest.h"
#include "net/CSocketError.h"
#include "net/CSocketEvent.h"
#include "net/CSocketTimeOut.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Error code of a failed send in the socket layer.
constexpr int32_t kSendErrorCode = 2;

// A client whose server is the fuzz input: reads are served from it in chunks a seed
// chooses, writes are taken and discarded until the server has closed.
class CFuzzClient : public CKeyServerClient
{
public:
    CFuzzClient(const uint8_t* data, size_t size, uint32_t seed) : m_data(data), m_size(size), m_state(seed | 1) {}

    void Open(const std::string&, uint16_t) override {}

    int Write(const void*, int length) override
    {
        if (m_closed) {
            throw ZiRez::CSocketError("CBaseSocket::Send: SendData Error!", kSendErrorCode);
        }
        return static_cast<int>(NextChunk(static_cast<size_t>(length)));
    }

    int Read(void* buffer, int length, void*, int*) override
    {
        const size_t left = m_size - m_offset;
        const size_t count = NextChunk(static_cast<size_t>(length) < left ? static_cast<size_t>(length) : left);
        if (count == 0) {
            m_closed = true;
            return 0;
        }
        std::memcpy(buffer, m_data + m_offset, count);
        m_offset += count;
        return static_cast<int>(count);
    }

private:
    size_t NextChunk(size_t wanted)
    {
        if (wanted <= 1) {
            return wanted;
        }
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        const size_t limit = (m_state & 3) == 0 ? wanted : 1 + (m_state >> 8) % 9;
        return limit < wanted ? limit : wanted;
    }

    const uint8_t* m_data;
    size_t m_size;
    size_t m_offset = 0;
    uint32_t m_state;
    bool m_closed = false;
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
