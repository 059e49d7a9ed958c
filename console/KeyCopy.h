#pragma once

#include "settings/CKeyRecord.h"
#include "settings/CMaskBuffer.h"

#include <string>
#include <vector>

// Where a copy goes, as the user typed it (UTF-8): a host name or address, the port in
// decimal digits, and the cooperation password set on that key server.
struct SCopyTarget
{
    std::string host;
    std::string port;
    std::string password;
};

enum class ECopyOutcome
{
    InvalidPort,             // empty, not decimal digits, or above 65535; nothing tried
    UnrepresentablePassword, // a character code page 932 cannot represent; nothing sent
    NoConnection,            // the key server could not be reached
    PasswordRefused,         // the key server refused the password
    Failed,                  // anything else after the connection; keys it stored stay stored
    Done,
};

// Sends the records, sealed for transfer with a fresh mask, to another key server with one
// store-keys request. Waits up to 10 s for each step of the conversation.
ECopyOutcome CopyKeys(const std::vector<CKeyRecord>& copySet, const SCopyTarget& target);

// 32 bytes from the kernel's random source: no two copy attempts share a mask.
CMaskBuffer MakeTransferMask();
