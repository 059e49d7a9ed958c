#include "control/ProgramDirectory.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"

#include <vector>

std::string ProgramDirectory()
{
    // Long paths need more than MAX_PATH; the module name is cut short without a sign but
    // for the size it was given, so grow until it fits.
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            const std::string executable = Platform::Narrow(std::wstring_view(path.data(), length));
            const size_t separator = executable.rfind('\\');
            return separator == std::string::npos ? std::string() : executable.substr(0, separator);
        }
        if (path.size() >= 32768) {
            return {};
        }
        path.resize(path.size() * 2);
    }
}

std::string ProgramPath(const std::string& directory, std::string_view name)
{
    return directory + "\\" + std::string(name) + ".exe";
}
