#pragma once

#include "keys/CMaskBuffer.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CKeyServerClient;

// Another key server as the user named it (UTF-8): a host name or address, the port in
// decimal digits, and the cooperation password set on that key server.
struct SCopyTarget
{
    std::string host;
    std::string port;
    std::string password;
};

// How a conversation with another key server ended, in either direction.
enum class ECopyOutcome
{
    InvalidPort,             // empty, not decimal digits, or above 65535; nothing tried
    UnrepresentablePassword, // a character code page 932 cannot represent; nothing sent
    NoConnection,            // the key server could not be reached
    PasswordRefused,         // the key server refused the password
    Failed,                  // anything else after the connection; keys it stored stay stored
    Done,
};

// The port and the password bytes of a target, or the outcome that refuses it (Done when
// it can be tried).
struct SRequestTarget
{
    ECopyOutcome refusal = ECopyOutcome::Done;
    uint16_t port = 0;
    std::string password;
};
SRequestTarget ResolveTarget(const SCopyTarget& target);

// One request on a fresh connection (waiting up to 10 s for each step): NoConnection when
// the key server cannot be reached, PasswordRefused or Failed when the conversation throws,
// else Done.
ECopyOutcome RunKeyServerRequest(const std::string& host, uint16_t port,
                                 const std::function<void(CKeyServerClient&)>& conversation);

// Called after each request that succeeded: entries done so far, entries in all.
using CopyProgress = std::function<void(size_t done, size_t total)>;

// Runs a list of entries against a key server in the parts SplitIntoRequests makes for
// their identifiers (and keys of keyLength bytes, or none): resolves the target, then runs
// part(first entry, count) for each part in turn, telling progress after each, and stops
// at the first whose outcome is not Done. Returns the outcome of the last step.
using RequestPart = std::function<ECopyOutcome(const SRequestTarget& resolved, size_t first, size_t count)>;
ECopyOutcome RunInParts(const SCopyTarget& target, const std::vector<size_t>& idLengths, size_t keyLength,
                        const RequestPart& part, const CopyProgress& progress);

inline constexpr size_t kTransferMaskLength = 32;

// 32 bytes from the kernel's random source: no two requests share a mask.
CMaskBuffer MakeTransferMask();
