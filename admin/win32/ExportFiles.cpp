#include "admin/ExportFiles.h"

#include "platform/RandomBytes.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"

#include <algorithm>
#include <cstdint>
#include <sddl.h>

namespace ExportFiles {

namespace {

// The system's English text of the error, as strerror gives it on Linux.
std::string ErrorText(DWORD error)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length != 0 ? Platform::Narrow(std::wstring_view(text, length)) : std::string();
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(error) : message;
}

class CHandle
{
public:
    explicit CHandle(HANDLE handle) : m_handle(handle) {}
    ~CHandle() { Close(); }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;

    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }
    void Reset(HANDLE handle)
    {
        Close();
        m_handle = handle;
    }
    void Close()
    {
        if (IsOpen()) {
            CloseHandle(m_handle);
            m_handle = INVALID_HANDLE_VALUE;
        }
    }

private:
    HANDLE m_handle;
};

// A descriptor whose access list grants this process's user everything and no one else
// anything, and inherits nothing from the folder: the file's mode 0600.
class COwnerOnly
{
public:
    COwnerOnly()
    {
        HANDLE token = nullptr;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) == FALSE) {
            return;
        }
        alignas(TOKEN_USER) unsigned char buffer[256];
        DWORD length = 0;
        wchar_t* sid = nullptr;
        if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &length) != FALSE &&
            ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid) != FALSE) {
            const std::wstring sddl = L"D:P(A;;FA;;;" + std::wstring(sid) + L")";
            ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &m_descriptor, nullptr);
            LocalFree(sid);
        }
        CloseHandle(token);
    }
    ~COwnerOnly() { LocalFree(m_descriptor); }
    COwnerOnly(const COwnerOnly&) = delete;
    COwnerOnly& operator=(const COwnerOnly&) = delete;

    SECURITY_ATTRIBUTES* Attributes()
    {
        m_attributes = {sizeof m_attributes, m_descriptor, FALSE};
        return m_descriptor != nullptr ? &m_attributes : nullptr;
    }

private:
    PSECURITY_DESCRIPTOR m_descriptor = nullptr;
    SECURITY_ATTRIBUTES m_attributes{};
};

// Six letters and digits, as mkstemp makes them.
std::string RandomSuffix()
{
    constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char random[6];
    Platform::FillRandom(random, sizeof random);
    std::string suffix;
    for (const unsigned char byte : random) {
        suffix.push_back(kLetters[byte % (sizeof kLetters - 1)]);
    }
    return suffix;
}

bool IsExistsError(DWORD error)
{
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
}

} // namespace

bool Exists(const std::string& path)
{
    return GetFileAttributesW(Platform::Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Read(const std::string& path, size_t limit, std::string& bytes)
{
    // A link is opened as itself, so that it can be refused rather than followed.
    const CHandle file(CreateFileW(Platform::Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.IsOpen()) {
        return ErrorText(GetLastError());
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(file.Get(), &info) == FALSE) {
        return ErrorText(GetLastError());
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return "it is a symbolic link: name the file itself";
    }
    if (GetFileType(file.Get()) != FILE_TYPE_DISK || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return "it is not a regular file";
    }
    const uint64_t size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (size > limit) {
        return "it is far larger than any export";
    }
    // One byte more than its size shows a file that grows while it is read.
    bytes.resize(static_cast<size_t>(size) + 1);
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
        if (ReadFile(file.Get(), bytes.data() + done, wanted, &got, nullptr) == FALSE) {
            return ErrorText(GetLastError());
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    bytes.resize(done);
    if (done > size) {
        return "it changed while it was read";
    }
    return {};
}

std::string WriteNew(const std::string& path, const std::string& bytes, bool replace)
{
    COwnerOnly ownerOnly;
    if (ownerOnly.Attributes() == nullptr) {
        return "cannot make a file only its owner may open: " + ErrorText(GetLastError());
    }
    // A name beside the file that nobody else uses: CREATE_NEW fails on an existing one.
    std::wstring temporary;
    CHandle file(INVALID_HANDLE_VALUE);
    for (unsigned attempt = 0; attempt < 100 && !file.IsOpen(); ++attempt) {
        temporary = Platform::Widen(path + "." + RandomSuffix());
        file.Reset(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, ownerOnly.Attributes(), CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.IsOpen() && !IsExistsError(GetLastError())) {
            return ErrorText(GetLastError());
        }
    }
    if (!file.IsOpen()) {
        return ErrorText(ERROR_FILE_EXISTS);
    }
    const auto fail = [&temporary, &file](DWORD error) {
        file.Close();
        DeleteFileW(temporary.c_str());
        return ErrorText(error);
    };
    size_t written = 0;
    while (written < bytes.size()) {
        DWORD count = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<size_t>(bytes.size() - written, 1 << 20));
        if (WriteFile(file.Get(), bytes.data() + written, wanted, &count, nullptr) == FALSE) {
            return fail(GetLastError());
        }
        written += count;
    }
    if (FlushFileBuffers(file.Get()) == FALSE) {
        return fail(GetLastError());
    }
    file.Close();
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (MoveFileExW(temporary.c_str(), Platform::Widen(path).c_str(), flags) == FALSE) {
        const DWORD error = GetLastError();
        DeleteFileW(temporary.c_str());
        return IsExistsError(error) ? "it exists already" : ErrorText(error);
    }
    return {};
}

std::string HostName()
{
    wchar_t name[256] = {};
    DWORD length = static_cast<DWORD>(std::size(name));
    return GetComputerNameExW(ComputerNameDnsHostname, name, &length) != FALSE
               ? Platform::Narrow(std::wstring_view(name, length))
               : std::string();
}

} // namespace ExportFiles
