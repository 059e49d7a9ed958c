#include "settings/GuardCounts.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"

#include <filesystem>
#include <fstream>

namespace {

std::wstring FileIn(const std::string& directory)
{
    return Platform::Widen(directory) + L"\\guard-counts";
}

} // namespace

// In the program data folder on Windows (the state directory there), made when missing,
// as the registry store has no folder of its own.
bool WriteGuardCounts(const SGuardCounts& counts, const std::string& directory)
{
    if (directory.empty()) {
        return false;
    }
    std::error_code ignored;
    std::filesystem::create_directories(Platform::Widen(directory), ignored);
    const std::wstring path = FileIn(directory);
    const std::wstring temporary = path + L".new";
    const std::string text = GuardCountsText(counts);
    const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool whole =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
    CloseHandle(file);
    if (!whole || !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

std::optional<SGuardCounts> ReadGuardCounts(const std::string& directory)
{
    if (directory.empty()) {
        return std::nullopt;
    }
    std::ifstream file(std::filesystem::path(FileIn(directory)));
    if (!file) {
        return std::nullopt;
    }
    return ParseGuardCounts(file);
}
