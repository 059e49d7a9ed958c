#include "RequestParts.h"

#include "protocol/Packet.h"

namespace {

constexpr size_t kTransferMaskLength = 32;

size_t Charged(size_t length)
{
    return length + kItemOverhead;
}

} // namespace

std::vector<size_t> SplitIntoRequests(const std::vector<size_t>& idLengths, size_t passwordLength, size_t keyLength)
{
    const size_t fixed = Charged(passwordLength) + Charged(kIntSize) + Charged(kTransferMaskLength);
    const size_t perKey = keyLength == 0 ? 0 : Charged(keyLength);
    std::vector<size_t> parts{0};
    size_t charged = fixed;
    for (const size_t idLength : idLengths) {
        const size_t entry = Charged(idLength) + perKey;
        const bool full = parts.back() == static_cast<size_t>(kMaxItemCount) || charged + entry > kMaxRequestItems;
        if (full && parts.back() > 0) {
            parts.push_back(0);
            charged = fixed;
        }
        ++parts.back();
        charged += entry;
    }
    return parts;
}
