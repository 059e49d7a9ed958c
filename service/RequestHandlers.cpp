#include "RequestHandlers.h"

#include "CRequestLog.h"
#include "net/CSocketError.h"
#include "protocol/CRequestConnection.h"
#include "protocol/Packet.h"
#include "settings/CKeyStore.h"

#include <cstdint>
#include <vector>

namespace {

// A count outside 0..65536 ends the request without a status: no request of the system
// carries more, and a negative one must not drive a loop.
int32_t ReceiveCount(CRequestConnection& connection)
{
    const int32_t count = connection.ReceiveInt();
    if (count < 0 || count > kMaxItemCount) {
        throw ZiRez::CSocketError("Item Count Invalid Error!", kPacketErrorCode);
    }
    return count;
}

// Undoes the password masking: the mask is added byte by byte, without cycling.
void UnmaskPassword(std::string& password, const std::string& mask)
{
    const size_t count = password.size() < mask.size() ? password.size() : mask.size();
    for (size_t i = 0; i < count; ++i) {
        password[i] = static_cast<char>(static_cast<uint8_t>(password[i]) - static_cast<uint8_t>(mask[i]));
    }
}

void SendLoggedStatus(CRequestConnection& connection, CRequestLog& log, uint32_t status, uint32_t detail)
{
    log.AddStatus(status, detail);
    connection.SendStatus(status, detail);
}

// An identifier that is not registered ends the request with status (2, 1).
const CKeyRecord& FindKeyOrRefuse(CRequestConnection& connection, CRequestLog& log,
                                  const CKeyListCache::KeyList& keyList, const std::string& id)
{
    try {
        return FindKey(keyList, id);
    } catch (const ZiRez::CSocketError&) {
        SendLoggedStatus(connection, log, ST_EXEC_ERROR, DT_KEY_NOT_FOUND);
        throw;
    }
}

void CheckPasswordOrRefuse(CRequestConnection& connection, CRequestLog& log, std::string& password,
                           const std::string& mask)
{
    UnmaskPassword(password, mask);
    try {
        CheckPassword(password);
    } catch (const ZiRez::CSocketError&) {
        SendLoggedStatus(connection, log, ST_AUTH_ERROR, DT_BAD_PASSWORD);
        throw;
    }
}

void SendSealedKey(CRequestConnection& connection, const CKeyRecord& registered, const std::string& mask)
{
    CKeyRecord working(registered);
    working.SetTransferMask(mask);
    working.SealForTransfer();
    connection.SendData(working.GetKey().Data(), working.GetKey().Length());
}

// One received pair of request 512; a key item shorter than a key cannot be stored.
struct ReceivedPair
{
    CKeyRecord record;
    bool complete = false;
};

} // namespace

const CKeyRecord& FindKey(const CKeyListCache::KeyList& keyList, const std::string& id)
{
    const auto found = keyList.find(id);
    if (found == keyList.end()) {
        throw ZiRez::CSocketError("Requested LockKey Not Found!!", kPacketErrorCode);
    }
    return found->second;
}

void CheckPassword(std::string_view received)
{
    CKeyStore store;
    const std::string stored = store.ReadPassword();
    if (!stored.empty() && stored == received) {
        return;
    }
    throw ZiRez::CSocketError("Invalid Password!!", kPacketErrorCode);
}

void HandleGetKey(CRequestConnection& connection, CRequestLog& log)
{
    std::string id;
    std::string mask;
    connection.ReceiveData(id);
    log.AddId(id);
    connection.ReceiveData(mask);

    const auto keyList = CKeyListCache::Shared().Current();
    SendSealedKey(connection, FindKeyOrRefuse(connection, log, *keyList, id), mask);
    SendLoggedStatus(connection, log, ST_OK, 0);
}

void HandleFetchKeys(CRequestConnection& connection, CRequestLog& log)
{
    std::string password;
    connection.ReceiveData(password);
    const int32_t count = ReceiveCount(connection);
    // Grown as items arrive: a count alone must not make the service allocate.
    std::vector<std::string> ids;
    for (int32_t i = 0; i < count; ++i) {
        connection.ReceiveData(ids.emplace_back());
        log.AddId(ids.back());
    }
    std::string mask;
    connection.ReceiveData(mask);
    CheckPasswordOrRefuse(connection, log, password, mask);

    const auto keyList = CKeyListCache::Shared().Current();
    connection.SendInt(count);
    for (const auto& id : ids) {
        SendSealedKey(connection, FindKeyOrRefuse(connection, log, *keyList, id), mask);
    }
    SendLoggedStatus(connection, log, ST_OK, 0);
}

void HandleStoreKeys(CRequestConnection& connection, CRequestLog& log)
{
    std::string password;
    connection.ReceiveData(password);
    const int32_t count = ReceiveCount(connection);
    std::vector<ReceivedPair> pairs;
    std::string id;
    std::string key;
    for (int32_t i = 0; i < count; ++i) {
        ReceivedPair& pair = pairs.emplace_back();
        connection.ReceiveData(id);
        connection.ReceiveData(key);
        log.AddId(id);
        pair.record.SetId(id);
        // Only the first 32 bytes of a key item count; a shorter one is refused below
        // rather than read past its end.
        pair.complete = key.size() >= CKeyRecord::kKeyLength;
        if (pair.complete) {
            pair.record.SetKey(key.data());
        }
    }
    std::string mask;
    connection.ReceiveData(mask);
    CheckPasswordOrRefuse(connection, log, password, mask);

    CKeyStore store;
    for (auto& pair : pairs) {
        bool stored = false;
        if (pair.complete) {
            pair.record.SetTransferMask(mask);
            pair.record.OpenFromTransfer();
            stored = store.StoreKey(pair.record) == 1;
        }
        if (!stored) {
            SendLoggedStatus(connection, log, ST_EXEC_ERROR, DT_STORE_FAILED);
        }
    }
    SendLoggedStatus(connection, log, ST_OK, 0);
}
