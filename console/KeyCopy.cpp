#include "KeyCopy.h"

#include "console/PasswordText.h"
#include "console/PortText.h"
#include "protocol/AuthError.h"
#include "protocol/CKeyServerClient.h"

#include <cerrno>
#include <cstddef>
#include <sys/random.h>
#include <system_error>

namespace {

constexpr size_t kTransferMaskLength = 32;

std::vector<CKeyRecord> SealForTransfer(const std::vector<CKeyRecord>& copySet, const CMaskBuffer& mask)
{
    std::vector<CKeyRecord> sealed;
    sealed.reserve(copySet.size());
    for (const CKeyRecord& record : copySet) {
        CKeyRecord& copy = sealed.emplace_back(record);
        copy.SetTransferMask(mask.Data(), mask.Length());
        copy.SealForTransfer();
    }
    return sealed;
}

} // namespace

CMaskBuffer MakeTransferMask()
{
    unsigned char bytes[kTransferMaskLength];
    size_t filled = 0;
    while (filled < sizeof bytes) {
        const ssize_t got = getrandom(bytes + filled, sizeof bytes - filled, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            throw std::system_error(errno, std::generic_category(), "getrandom");
        }
        filled += static_cast<size_t>(got);
    }
    return CMaskBuffer(bytes, sizeof bytes);
}

ECopyOutcome CopyKeys(const std::vector<CKeyRecord>& copySet, const SCopyTarget& target)
{
    const std::optional<uint16_t> port = ParseTargetPort(target.port);
    if (!port) {
        return ECopyOutcome::InvalidPort;
    }
    const std::optional<std::string> password = PasswordToCodePage(target.password);
    if (!password) {
        return ECopyOutcome::UnrepresentablePassword;
    }
    try {
        const CMaskBuffer mask = MakeTransferMask();
        CKeyServerClient client;
        try {
            client.Open(target.host, *port);
        } catch (...) {
            return ECopyOutcome::NoConnection;
        }
        client.StoreKeys(*password, SealForTransfer(copySet, mask), mask);
    } catch (const KeyServer::AuthError&) {
        return ECopyOutcome::PasswordRefused;
    } catch (...) {
        return ECopyOutcome::Failed;
    }
    return ECopyOutcome::Done;
}
