#pragma once

#include "console/KeyCopy.h"
#include "keys/CKeyRecord.h"

#include <string>
#include <vector>

// What a fetch brought: its outcome, the keys received (opened, under their IDs, in the
// order asked) and the IDs the key server has no key for.
struct SFetchResult
{
    ECopyOutcome outcome = ECopyOutcome::Done;
    std::vector<CKeyRecord> keys;
    std::vector<std::string> refused;
    // IDs whose key was received but could not be stored here (filled by the task step).
    std::vector<std::string> notStored;
};

// Takes the keys of the IDs (exactly as the key server holds them) from another key
// server with fetch-keys requests, as many as its limits need. A key server ends such a
// request at the first ID it does not know; the IDs of that request are then asked again
// in halves, so that every ID it knows is fetched and each one it does not is named.
// Stops at the first request that fails otherwise; the keys received before stay in the
// result.
SFetchResult FetchKeys(const std::vector<std::string>& ids, const SCopyTarget& source,
                       const CopyProgress& progress = {});
