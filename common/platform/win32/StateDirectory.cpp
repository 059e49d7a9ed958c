#include "platform/StateDirectory.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"

#include <shlobj.h>
#include <string_view>

namespace Platform {

namespace {

constexpr const wchar_t* kVariable = L"CORVANE_STATE_DIR";

// The variable's text, and in set whether it is set at all.
std::string Variable(const wchar_t* name, bool& set)
{
    wchar_t value[MAX_PATH];
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    set = length > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    return length > 0 && length < MAX_PATH ? Narrow(std::wstring_view(value, length)) : std::string();
}

// C:\... or \\server\share\...
bool Absolute(std::string_view path)
{
    const bool drive = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    return drive || path.starts_with("\\\\");
}

// The machine's program data folder as the shell knows it. Not %ProgramData%: a service's
// environment may name another folder than a user's (under Wine, C:\users\Public against
// C:\ProgramData), and the service and the tools must meet in one folder.
std::string ProgramDataFolder()
{
    wchar_t* path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramData, KF_FLAG_DONT_VERIFY, nullptr, &path))) {
        folder = Narrow(std::wstring_view(path));
    }
    CoTaskMemFree(path);
    return folder;
}

} // namespace

std::string StateDirectory()
{
    bool set = false;
    const std::string overridden = Variable(kVariable, set);
    if (set) {
        // Set but unusable never falls back to the production folder.
        return Absolute(overridden) ? overridden : "";
    }
    const std::string data = ProgramDataFolder();
    return Absolute(data) ? data + "\\Quillon\\CorvaneKeyServer" : "";
}

std::string StateDirectoryProblem()
{
    bool set = false;
    const std::string overridden = Variable(kVariable, set);
    if (!set) {
        return Absolute(ProgramDataFolder()) ? "" : "the program data folder is unknown";
    }
    if (overridden.empty()) {
        return "CORVANE_STATE_DIR is set but empty: unset it for the service's folder, or name a folder";
    }
    return Absolute(overridden) ? "" : "CORVANE_STATE_DIR must be an absolute path (it is '" + overridden + "')";
}

} // namespace Platform
