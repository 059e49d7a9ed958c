#pragma once

// The Windows headers in the order Winsock needs, for the Win32 implementation files only:
// no header of the layers above includes this.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on
