#include "KeyCopy.h"

#include "console/RequestParts.h"
#include "protocol/CKeyServerClient.h"

namespace {

std::vector<CKeyRecord> SealForTransfer(const std::vector<CKeyRecord>& records, const CMaskBuffer& mask)
{
    std::vector<CKeyRecord> sealed;
    sealed.reserve(records.size());
    for (const CKeyRecord& record : records) {
        CKeyRecord& copy = sealed.emplace_back(record);
        copy.SetTransferMask(mask.Data(), mask.Length());
        copy.SealForTransfer();
    }
    return sealed;
}

} // namespace

SCopyResult CopyKeysInParts(const std::vector<CKeyRecord>& copySet, const SCopyTarget& target,
                            const CopyProgress& progress)
{
    SCopyResult result;
    const SRequestTarget resolved = ResolveTarget(target);
    if (resolved.refusal != ECopyOutcome::Done) {
        result.outcome = resolved.refusal;
        return result;
    }
    std::vector<size_t> idLengths;
    for (const CKeyRecord& record : copySet) {
        idLengths.push_back(record.GetId().size());
    }
    for (const size_t count : SplitIntoRequests(idLengths, resolved.password.size(), CKeyRecord::kKeyLength)) {
        const auto first = copySet.begin() + static_cast<std::ptrdiff_t>(result.copied);
        const std::vector<CKeyRecord> part(first, first + static_cast<std::ptrdiff_t>(count));
        result.outcome = RunKeyServerRequest(target.host, resolved.port, [&](CKeyServerClient& client) {
            const CMaskBuffer mask = MakeTransferMask();
            client.StoreKeys(resolved.password, SealForTransfer(part, mask), mask);
        });
        if (result.outcome != ECopyOutcome::Done) {
            return result;
        }
        result.copied += count;
        if (progress) {
            progress(result.copied, copySet.size());
        }
    }
    return result;
}
