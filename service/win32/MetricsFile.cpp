#include "service/MetricsFile.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"
#include "settings/CMetricsSettings.h"

#include <system_error>

namespace {

std::string LastError()
{
    return std::system_category().message(static_cast<int>(GetLastError()));
}

} // namespace

bool ReplaceMetricsFile(const std::string& directory, const std::string& text, std::string& error)
{
    const std::wstring path = Platform::Widen(directory + "\\" + CMetricsSettings::kFileName);
    // Not ending in .prom: a collector reading the folder passes it by.
    const std::wstring temporary = path + L".tmp";
    const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = LastError();
        return false;
    }
    DWORD written = 0;
    const bool whole = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                       written == text.size() && FlushFileBuffers(file);
    if (!whole) {
        error = LastError();
    }
    CloseHandle(file);
    if (!whole) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = LastError();
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}
