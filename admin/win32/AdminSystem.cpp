#include "admin/AdminSystem.h"

#include "admin/win32/CConsoleTerminal.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"
#include "settings/win32/CWin32RegistryStore.h"

#include <shellapi.h>

namespace AdminSystem {

// The C library's argv follows the ANSI code page; the command line itself is UTF-16.
std::vector<std::string> Arguments(int /*argc*/, char** /*argv*/)
{
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide != nullptr && i < count; ++i) {
        args.push_back(Platform::Narrow(wide[i]));
    }
    LocalFree(wide);
    return args;
}

std::unique_ptr<CTerminal> NewTerminal()
{
    return std::make_unique<CConsoleTerminal>();
}

std::string StoreLocation()
{
    return CWin32RegistryStore().ProductBranchName();
}

// The store is the registry's: no variable moves it.
std::string StoreLocationProblem()
{
    return {};
}

std::string UnknownServiceText()
{
    return "not installed as a Windows service, or the service manager cannot be asked";
}

} // namespace AdminSystem
