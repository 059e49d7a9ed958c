#pragma once

#include "console/ConsoleMessage.h"
#include "platform/win32/Win32.h"

// Shows one of the console's message boxes over the owner (none before a window exists):
// caption Halvard, the stop icon and OK for errors, OK alone for notices, Yes and No for
// questions. The text is the string table's in the program's resources.
EMessageAnswer ShowConsoleMessage(HWND owner, const SConsoleMessage& message);

// The message box flags of a style.
UINT MessageBoxFlags(EMessageStyle style);
