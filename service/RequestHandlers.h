#pragma once

#include "service/CKeyListCache.h"

#include <string>
#include <string_view>

class CRequestConnection;
class CRequestLog;
struct SServiceParts;
namespace ZiRez {
class CPeerAddress;
}

// The handlers of requests 16, 256 and 512, called after the request packet has been
// acknowledged. Each ends by sending status (0, 0) or by throwing; an error status is
// sent before the error is rethrown. The log receives identifiers and statuses. A miss of
// request 16 and a wrong password draw on the peer's throttle (the parts' CRequestGuard); a request
// it refuses throws SThrottled once its items are received, with nothing sent or looked up.
void HandleGetKey(const SServiceParts& parts, CRequestConnection& connection, CRequestLog& log,
                  const ZiRez::CPeerAddress& peer);
void HandleFetchKeys(const SServiceParts& parts, CRequestConnection& connection, CRequestLog& log,
                     const ZiRez::CPeerAddress& peer);
void HandleStoreKeys(const SServiceParts& parts, CRequestConnection& connection, CRequestLog& log,
                     const ZiRez::CPeerAddress& peer);

// Returns when the unmasked password equals the stored cooperation password, else throws
// CSocketError "Invalid Password!!"; an empty stored password refuses every password.
void CheckPassword(std::string_view received);

// The record registered under exactly this identifier, else CSocketError
// "Requested LockKey Not Found!!".
const CKeyRecord& FindKey(const CKeyListCache::KeyList& keyList, const std::string& id);
