#include "KeyFetch.h"

#include "net/CSocketError.h"
#include "protocol/CKeyServerClient.h"

#include <stdexcept>

namespace {

using IdIterator = std::vector<std::string>::const_iterator;

class CFetch
{
public:
    CFetch(const SCopyTarget& source, const SRequestTarget& resolved, SFetchResult& result)
        : m_host(source.host), m_target(resolved), m_result(result)
    {}

    // Fetches the IDs of one request; on "not registered", the two halves apart.
    ECopyOutcome Part(IdIterator first, IdIterator last)
    {
        const std::vector<std::string> ids(first, last);
        bool unknownId = false;
        const ECopyOutcome outcome = Request(ids, unknownId);
        if (outcome != ECopyOutcome::Done || !unknownId) {
            return outcome;
        }
        if (ids.size() == 1) {
            m_result.refused.push_back(ids.front());
            return outcome;
        }
        const IdIterator middle = first + (last - first) / 2;
        const ECopyOutcome firstHalf = Part(first, middle);
        return firstHalf != ECopyOutcome::Done ? firstHalf : Part(middle, last);
    }

private:
    ECopyOutcome Request(const std::vector<std::string>& ids, bool& unknownId)
    {
        return RunKeyServerRequest(m_host, m_target.port, [&](CKeyServerClient& client) {
            const CMaskBuffer mask = MakeTransferMask();
            std::vector<CKeyRecord> received;
            try {
                received = client.FetchKeys(m_target.password, ids, mask);
            } catch (const ZiRez::CSocketError&) {
                const StatusBlock& status = client.LastStatus();
                unknownId = status.status == ST_EXEC_ERROR && status.detail == DT_KEY_NOT_FOUND;
                if (!unknownId) {
                    throw;
                }
                return;
            }
            if (received.size() != ids.size()) {
                throw std::runtime_error("key count differs from the IDs asked for");
            }
            for (size_t i = 0; i < ids.size(); ++i) {
                CKeyRecord& record = m_result.keys.emplace_back(received[i]);
                record.SetId(ids[i]);
                record.SetTransferMask(mask.Data(), mask.Length());
                record.OpenFromTransfer();
            }
        });
    }

    const std::string& m_host;
    const SRequestTarget& m_target;
    SFetchResult& m_result;
};

} // namespace

SFetchResult FetchKeys(const std::vector<std::string>& ids, const SCopyTarget& source, const CopyProgress& progress)
{
    SFetchResult result;
    std::vector<size_t> idLengths;
    for (const std::string& id : ids) {
        idLengths.push_back(id.size());
    }
    const auto fetchPart = [&](const SRequestTarget& resolved, size_t first, size_t count) {
        const IdIterator begin = ids.begin() + static_cast<std::ptrdiff_t>(first);
        return CFetch(source, resolved, result).Part(begin, begin + static_cast<std::ptrdiff_t>(count));
    };
    result.outcome = RunInParts(source, idLengths, 0, fetchPart, progress);
    return result;
}
