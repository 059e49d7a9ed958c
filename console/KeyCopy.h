#pragma once

#include "console/KeyServerRequest.h"
#include "keys/CKeyRecord.h"

#include <cstddef>
#include <vector>

// How a copy went, and how many of its keys the key server confirmed (the keys of every
// request it answered with success).
struct SCopyResult
{
    ECopyOutcome outcome = ECopyOutcome::Done;
    size_t copied = 0;
};

// Sends the records, sealed for transfer, to another key server with store-keys requests:
// one, or as many as its limits need, each with a fresh mask. Stops at the first request
// that does not succeed.
SCopyResult CopyKeysInParts(const std::vector<CKeyRecord>& copySet, const SCopyTarget& target,
                            const CopyProgress& progress = {});

inline ECopyOutcome CopyKeys(const std::vector<CKeyRecord>& copySet, const SCopyTarget& target)
{
    return CopyKeysInParts(copySet, target).outcome;
}
