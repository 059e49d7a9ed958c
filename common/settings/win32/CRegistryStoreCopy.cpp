#include "CWin32RegistryStore.h"
#include "platform/StateDirectory.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"
#include "settings/CKeyStore.h"

#include <aclapi.h>
#include <filesystem>
#include <sddl.h>

namespace {

// Administrators and the system only, whatever the folder lets others do; what a folder
// of this access holds inherits it.
constexpr const wchar_t* kCopyAccess = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// The security descriptor of kCopyAccess, freed with the object.
class CCopyAccess
{
public:
    CCopyAccess()
    {
        ConvertStringSecurityDescriptorToSecurityDescriptorW(kCopyAccess, SDDL_REVISION_1, &m_descriptor, nullptr);
        BOOL present = FALSE;
        BOOL defaulted = FALSE;
        if (m_descriptor != nullptr) {
            GetSecurityDescriptorDacl(m_descriptor, &present, &m_dacl, &defaulted);
        }
        m_attributes.lpSecurityDescriptor = m_descriptor;
    }
    ~CCopyAccess() { LocalFree(m_descriptor); }
    CCopyAccess(const CCopyAccess&) = delete;
    CCopyAccess& operator=(const CCopyAccess&) = delete;

    SECURITY_ATTRIBUTES* Attributes() { return m_descriptor != nullptr ? &m_attributes : nullptr; }
    PACL Dacl() const { return m_dacl; }

private:
    PSECURITY_DESCRIPTOR m_descriptor = nullptr;
    PACL m_dacl = nullptr;
    SECURITY_ATTRIBUTES m_attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

// SE_BACKUP_NAME enabled for the life of the object, as a save needs it; the token is left
// as it was found.
class CBackupPrivilege
{
public:
    CBackupPrivilege()
    {
        TOKEN_PRIVILEGES wanted{};
        wanted.PrivilegeCount = 1;
        wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &m_token) ||
            !LookupPrivilegeValueW(nullptr, SE_BACKUP_NAME, &wanted.Privileges[0].Luid)) {
            return;
        }
        DWORD size = sizeof m_previous;
        m_adjusted = AdjustTokenPrivileges(m_token, FALSE, &wanted, sizeof m_previous, &m_previous, &size) != FALSE &&
                     GetLastError() == ERROR_SUCCESS;
    }
    ~CBackupPrivilege()
    {
        if (m_adjusted) {
            AdjustTokenPrivileges(m_token, FALSE, &m_previous, 0, nullptr, nullptr);
        }
        if (m_token != nullptr) {
            CloseHandle(m_token);
        }
    }
    CBackupPrivilege(const CBackupPrivilege&) = delete;
    CBackupPrivilege& operator=(const CBackupPrivilege&) = delete;

private:
    HANDLE m_token = nullptr;
    TOKEN_PRIVILEGES m_previous{};
    bool m_adjusted = false;
};

// The branch saved into file, inside a folder only administrators may open: a save given
// the security of its file fails on some systems, so the file inherits the folder's, and
// is given it as its own before it leaves the folder. On disk before it returns.
LSTATUS SaveBranch(HKEY branch, const std::wstring& file, CCopyAccess& access)
{
    LSTATUS code;
    {
        const CBackupPrivilege privilege;
        code = RegSaveKeyExW(branch, file.c_str(), nullptr, REG_LATEST_FORMAT);
    }
    if (code == ERROR_SUCCESS) {
        code = static_cast<LSTATUS>(SetNamedSecurityInfoW(
            const_cast<wchar_t*>(file.c_str()), SE_FILE_OBJECT,
            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr, access.Dacl(), nullptr));
    }
    if (code != ERROR_SUCCESS) {
        return code;
    }
    const HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return static_cast<LSTATUS>(GetLastError());
    }
    code = FlushFileBuffers(handle) ? ERROR_SUCCESS : static_cast<LSTATUS>(GetLastError());
    CloseHandle(handle);
    return code;
}

int32_t StoreCode(LSTATUS code)
{
    switch (code) {
    case ERROR_SUCCESS:
        return kErrorSuccess;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
        return kErrorAlreadyExists;
    case ERROR_FILE_NOT_FOUND:
        return kErrorFileNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
        return kErrorAccessDenied;
    default:
        return kErrorWriteFault;
    }
}

} // namespace

std::string CWin32RegistryStore::CopyFolder() const
{
    return m_copyFolder.empty() ? Platform::StateDirectory() : m_copyFolder;
}

int32_t CWin32RegistryStore::CopyBeside(std::string_view name, std::string* path)
{
    if (name.empty() || name.find_first_of("\\/:*?\"<>|") != std::string_view::npos || name == "." || name == "..") {
        return kErrorInvalidParameter;
    }
    HKEY branch = nullptr;
    const std::wstring product = Platform::Widen(CKeyStore::kProductPath);
    if (const LSTATUS code =
            RegOpenKeyExW(reinterpret_cast<HKEY>(Root(kHKeyLocalMachine)), product.c_str(), 0, KEY_READ, &branch);
        code != ERROR_SUCCESS) {
        return StoreCode(code);
    }
    const std::string folder = CopyFolder();
    if (folder.empty()) {
        RegCloseKey(branch);
        return kErrorFileNotFound; // no state directory to keep it in
    }
    std::error_code ignored;
    std::filesystem::create_directories(Platform::Widen(folder), ignored);
    const std::wstring target = Platform::Widen(folder + "\\" + std::string(name) + ".hiv");
    // Saved under a folder of this process and moved to its name without replacing: a save
    // replaces a file of its name on some systems, and a copy is never replaced.
    const std::wstring partialFolder = target + L"." + std::to_wstring(GetCurrentProcessId()) + L".partial";
    const std::wstring partial = partialFolder + L"\\copy.hiv";
    // What a copy of this process that died part way left there.
    DeleteFileW(partial.c_str());
    RemoveDirectoryW(partialFolder.c_str());
    CCopyAccess access;
    LSTATUS code = ERROR_SUCCESS;
    if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
        code = ERROR_ALREADY_EXISTS;
    } else if (access.Dacl() == nullptr) {
        code = ERROR_INVALID_SECURITY_DESCR;
    } else if (!CreateDirectoryW(partialFolder.c_str(), access.Attributes())) {
        code = static_cast<LSTATUS>(GetLastError());
    } else {
        code = SaveBranch(branch, partial, access);
        if (code == ERROR_SUCCESS && !MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
            code = static_cast<LSTATUS>(GetLastError());
        }
        DeleteFileW(partial.c_str());
        RemoveDirectoryW(partialFolder.c_str());
    }
    RegCloseKey(branch);
    if (code != ERROR_SUCCESS) {
        return StoreCode(code);
    }
    *path = Platform::Narrow(target);
    return kErrorSuccess;
}
