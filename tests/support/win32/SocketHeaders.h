#pragma once

// The socket declarations of this system for the tests (Winsock 2); linux/ has POSIX's.
#include "platform/win32/Win32.h"
