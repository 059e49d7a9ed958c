#include "console/StoreAdministrator.h"

#include "platform/win32/Win32.h"

#include <vector>

namespace {

class CTokenHandle
{
public:
    ~CTokenHandle()
    {
        if (handle != nullptr) {
            CloseHandle(handle);
        }
    }
    HANDLE handle = nullptr;
};

class CAdministratorsSid
{
public:
    CAdministratorsSid()
    {
        SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
        if (AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                     0, 0, &sid) == FALSE) {
            sid = nullptr;
        }
    }
    ~CAdministratorsSid()
    {
        if (sid != nullptr) {
            FreeSid(sid);
        }
    }
    CAdministratorsSid(const CAdministratorsSid&) = delete;
    CAdministratorsSid& operator=(const CAdministratorsSid&) = delete;

    PSID sid = nullptr;
};

} // namespace

// By the groups of the process token, whatever their attributes (enabled or deny-only). The
// store is the registry, whose rights follow from the groups. The group list is read at
// its full size: a fixed buffer would refuse members of many groups.
bool IsStoreAdministrator(CKeyStore& /*store*/)
{
    CTokenHandle token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_READ, &token.handle) == FALSE) {
        return false;
    }
    DWORD size = 0;
    GetTokenInformation(token.handle, TokenGroups, nullptr, 0, &size);
    if (size == 0) {
        return false;
    }
    std::vector<unsigned char> buffer(size);
    if (GetTokenInformation(token.handle, TokenGroups, buffer.data(), size, &size) == FALSE) {
        return false;
    }
    const CAdministratorsSid administrators;
    if (administrators.sid == nullptr) {
        return false;
    }
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        if (EqualSid(groups->Groups[i].Sid, administrators.sid) != FALSE) {
            return true;
        }
    }
    return false;
}
