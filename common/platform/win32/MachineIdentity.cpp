#include "platform/MachineIdentity.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"

#include <sddl.h>
#include <vector>

namespace Platform {

std::string ReadMachineIdentity()
{
    wchar_t computer[260];
    DWORD computerLength = 260;
    if (!GetComputerNameW(computer, &computerLength)) {
        return {};
    }
    // The computer's own account: first the size its SID needs, then the SID itself.
    DWORD sidSize = 0;
    wchar_t domain[260];
    DWORD domainLength = 260;
    SID_NAME_USE use;
    LookupAccountNameW(nullptr, computer, nullptr, &sidSize, domain, &domainLength, &use);
    if (sidSize == 0) {
        return {};
    }
    std::vector<unsigned char> sid(sidSize);
    domainLength = 260;
    if (!LookupAccountNameW(nullptr, computer, sid.data(), &sidSize, domain, &domainLength, &use) ||
        !IsValidSid(sid.data())) {
        return {};
    }
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid.data(), &text)) {
        return {};
    }
    std::string identity = Narrow(text);
    LocalFree(text);
    // The machine text drops the first nine characters (S-1-5-21-) unchecked.
    identity.erase(0, identity.size() < 9 ? identity.size() : 9);
    return identity;
}

} // namespace Platform
