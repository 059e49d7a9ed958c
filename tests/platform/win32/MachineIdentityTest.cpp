#include "platform/MachineIdentity.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"

#include <gtest/gtest.h>
#include <ntsecapi.h>
#include <sddl.h>

namespace {

// The account domain's SID as the local security authority reports it: a route to the
// computer's identity that does not go through the computer name.
std::string AccountDomainSid()
{
    LSA_OBJECT_ATTRIBUTES attributes{};
    LSA_HANDLE policy = nullptr;
    if (LsaOpenPolicy(nullptr, &attributes, POLICY_VIEW_LOCAL_INFORMATION, &policy) != 0) {
        return {};
    }
    POLICY_ACCOUNT_DOMAIN_INFO* info = nullptr;
    std::string text;
    if (LsaQueryInformationPolicy(policy, PolicyAccountDomainInformation, reinterpret_cast<void**>(&info)) == 0) {
        wchar_t* sid = nullptr;
        if (info->DomainSid != nullptr && ConvertSidToStringSidW(info->DomainSid, &sid)) {
            text = Platform::Narrow(sid);
            LocalFree(sid);
        }
        LsaFreeMemory(info);
    }
    LsaClose(policy);
    return text;
}

} // namespace

TEST(MachineIdentity, IsTheComputerSidWithoutItsFirstNineCharacters)
{
    const std::string domain = AccountDomainSid();
    ASSERT_GT(domain.size(), 9u);
    ASSERT_EQ(domain.substr(0, 9), "S-1-5-21-");
    EXPECT_EQ(Platform::ReadMachineIdentity(), domain.substr(9));
}

TEST(WideText, RoundTripsUtf8AndReplacesInvalidBytes)
{
    const std::string japanese = "\xE7\xAE\xA1\xE7\x90\x86\xE8\x80\x85"; // 管理者
    EXPECT_EQ(Platform::Widen(japanese), std::wstring(L"\u7BA1\u7406\u8005"));
    EXPECT_EQ(Platform::Narrow(Platform::Widen(japanese)), japanese);
    EXPECT_EQ(Platform::Widen(std::string_view("a\xFF", 2)), std::wstring(L"a\uFFFD"));
    EXPECT_EQ(Platform::Widen(""), std::wstring());
}
