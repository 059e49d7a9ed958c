#include "RequestHandlers.h"

#include "CRequestGuard.h"
#include "CRequestLog.h"
#include "SServiceParts.h"
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

void CheckPasswordOrRefuse(CRequestGuard& guard, CRequestConnection& connection, CRequestLog& log,
                           const ZiRez::CPeerAddress& peer, std::string& password, const std::string& mask)
{
    guard.AdmitPassword(peer);
    UnmaskPassword(password, mask);
    try {
        CheckPassword(password);
    } catch (const ZiRez::CSocketError&) {
        SendLoggedStatus(connection, log, ST_AUTH_ERROR, DT_BAD_PASSWORD);
        throw;
    }
    guard.PasswordRight(peer);
}

void SendSealedKey(CRequestConnection& connection, const CKeyRecord& registered, const std::string& mask)
{
    const CMaskBuffer sealed = registered.KeySealedForTransfer(mask);
    connection.SendData(sealed.Data(), sealed.Length());
}

// A pair for an ID not registered yet, beyond the registrations pushes may bring the store
// to, is emptied: it cannot be stored and gets its (2, 4) like any other.
void RefuseBeyondPushLimit(const SServiceParts& parts, std::vector<CKeyRecord>& records)
{
    const uint32_t limit = parts.guard.PushLimit();
    const std::shared_ptr<const CKeyListCache::KeyList> list = parts.keyLists.Current();
    if (limit == 0 || !list) {
        return;
    }
    size_t registered = list->size();
    for (CKeyRecord& record : records) {
        if (!record.HasKey() || list->count(record.GetId()) != 0) {
            continue;
        }
        if (registered >= limit) {
            record = CKeyRecord();
        } else {
            ++registered;
        }
    }
}

// Received items of one request, back to back in one buffer: what a peer sends before
// its password can be checked costs no allocation of its own per item.
class CItems
{
public:
    void Receive(CRequestConnection& connection)
    {
        connection.ReceiveDataAppend(m_bytes);
        m_ends.push_back(static_cast<uint32_t>(m_bytes.size()));
    }
    size_t Count() const { return m_ends.size(); }
    std::string_view operator[](size_t i) const
    {
        const uint32_t begin = i == 0 ? 0 : m_ends[i - 1];
        return std::string_view(m_bytes).substr(begin, m_ends[i] - begin);
    }

private:
    std::string m_bytes;
    std::vector<uint32_t> m_ends;
};

// Byte for byte in a time that depends on the lengths only, so that the time taken tells
// nothing of how much of a guess was right.
bool SameBytes(std::string_view a, std::string_view b)
{
    unsigned difference = a.size() == b.size() ? 0u : 1u;
    for (size_t i = 0; i < b.size(); ++i) {
        const auto mine = i < a.size() ? static_cast<unsigned char>(a[i]) : 0u;
        difference |= mine ^ static_cast<unsigned char>(b[i]);
    }
    return difference == 0;
}

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
    if (!stored.empty() && SameBytes(stored, received)) {
        return;
    }
    throw ZiRez::CSocketError("Invalid Password!!", kPacketErrorCode);
}

void HandleGetKey(const SServiceParts& parts, CRequestConnection& connection, CRequestLog& log,
                  const ZiRez::CPeerAddress& peer)
{
    std::string id;
    std::string mask;
    connection.ReceiveData(id);
    log.AddId(id);
    connection.ReceiveData(mask);

    CRequestGuard& guard = parts.guard;
    const auto keyList = parts.keyLists.Current();
    const auto found = keyList->find(id);
    // The answer of a throttled request does not depend on whether the ID is registered;
    // only the log does.
    const bool tokenTaken = guard.AdmitLookUp(peer, id, found != keyList->end());
    // Refused by the release check, a key is a miss to the peer in every way: its status,
    // and the token it keeps.
    if (found == keyList->end() || !guard.MayRelease(peer, id)) {
        SendLoggedStatus(connection, log, ST_EXEC_ERROR, DT_KEY_NOT_FOUND);
        throw ZiRez::CSocketError("Requested LockKey Not Found!!", kPacketErrorCode);
    }
    guard.Served(peer, id, tokenTaken);
    SendSealedKey(connection, found->second, mask);
    SendLoggedStatus(connection, log, ST_OK, 0);
}

void HandleFetchKeys(const SServiceParts& parts, CRequestConnection& connection, CRequestLog& log,
                     const ZiRez::CPeerAddress& peer)
{
    std::string password;
    connection.ReceiveData(password);
    const int32_t count = ReceiveCount(connection);
    // Grown as items arrive: a count alone must not make the service allocate.
    CItems ids;
    for (int32_t i = 0; i < count; ++i) {
        ids.Receive(connection);
        log.AddId(ids[ids.Count() - 1]);
    }
    std::string mask;
    connection.ReceiveData(mask);
    CheckPasswordOrRefuse(parts.guard, connection, log, peer, password, mask);

    const auto keyList = parts.keyLists.Current();
    connection.SendInt(count);
    for (size_t i = 0; i < ids.Count(); ++i) {
        SendSealedKey(connection, FindKeyOrRefuse(connection, log, *keyList, std::string(ids[i])), mask);
    }
    SendLoggedStatus(connection, log, ST_OK, 0);
}

void HandleStoreKeys(const SServiceParts& parts, CRequestConnection& connection, CRequestLog& log,
                     const ZiRez::CPeerAddress& peer)
{
    std::string password;
    connection.ReceiveData(password);
    const int32_t count = ReceiveCount(connection);
    // Identifiers and key items alternate.
    CItems items;
    for (int32_t i = 0; i < count; ++i) {
        items.Receive(connection);
        items.Receive(connection);
        log.AddId(items[items.Count() - 2]);
    }
    std::string mask;
    connection.ReceiveData(mask);
    CheckPasswordOrRefuse(parts.guard, connection, log, peer, password, mask);

    // All pairs are stored in one change; each that cannot be stored gets its (2, 4).
    std::vector<CKeyRecord> records(static_cast<size_t>(count));
    for (size_t i = 0; i < records.size(); ++i) {
        const std::string_view key = items[2 * i + 1];
        records[i].SetId(items[2 * i]);
        // Only the first 32 bytes of a key item count; a shorter one has no key to store
        // rather than one read past its end.
        if (key.size() >= CKeyRecord::kKeyLength) {
            records[i].SetKey(key.data());
            records[i].SetTransferMask(mask);
            records[i].OpenFromTransfer();
        }
    }
    RefuseBeyondPushLimit(parts, records);
    CKeyStore store;
    for (const int stored : store.StoreKeys(records)) {
        if (stored != 1) {
            SendLoggedStatus(connection, log, ST_EXEC_ERROR, DT_STORE_FAILED);
        }
    }
    SendLoggedStatus(connection, log, ST_OK, 0);
}
