#include "KeyCopy.h"

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
    std::vector<size_t> idLengths;
    for (const CKeyRecord& record : copySet) {
        idLengths.push_back(record.GetId().size());
    }
    const auto copyPart = [&](const SRequestTarget& resolved, size_t first, size_t count) {
        const auto begin = copySet.begin() + static_cast<std::ptrdiff_t>(first);
        const std::vector<CKeyRecord> part(begin, begin + static_cast<std::ptrdiff_t>(count));
        const ECopyOutcome outcome = RunKeyServerRequest(target.host, resolved.port, [&](CKeyServerClient& client) {
            const CMaskBuffer mask = MakeTransferMask();
            client.StoreKeys(resolved.password, SealForTransfer(part, mask), mask);
        });
        if (outcome == ECopyOutcome::Done) {
            result.copied += count;
        }
        return outcome;
    };
    result.outcome = RunInParts(target, idLengths, CKeyRecord::kKeyLength, copyPart, progress);
    return result;
}
