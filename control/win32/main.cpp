// Oxlade: installs, controls and removes the key service; one command word per run, its
// results in message boxes.
#include "control/CNetshFirewall.h"
#include "control/CServiceControl.h"
#include "control/CWindowsVersion.h"
#include "control/ProgramDirectory.h"
#include "control/win32/CHiddenProcessRunner.h"
#include "control/win32/CScmServiceManager.h"
#include "control/win32/CSystemVersionQuery.h"
#include "control/win32/ControlBoxes.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"
#include "settings/CKeyStore.h"

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR commandLine, int /*show*/)
{
    CScmServiceManager manager;
    CSystemVersionQuery versionQuery;
    CWindowsVersion version(versionQuery);
    CHiddenProcessRunner runner;
    CNetshFirewall firewall(version, runner);
    CKeyStore store;
    CControlOutput output(ShowControlBox);
    CServiceControl control(manager, firewall, store, output, ProgramDirectory(),
                            [](int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); });
    // The command line after the program's name, as it was typed: compared as a whole.
    return control.Run(Platform::Narrow(commandLine));
}
