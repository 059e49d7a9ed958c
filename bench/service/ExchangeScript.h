#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One request as a unit performs it, step by step: what to send and the exact bytes the
// service must answer with. Replies are split at packet headers, so that a status in
// place of a key is caught at its header.
struct ExchangeStep
{
    enum class Kind
    {
        Send,
        Expect,
        ExpectClose, // the service closes the connection after its one request
    };

    Kind kind;
    std::string bytes;
    const char* what;
};

using ExchangeScript = std::vector<ExchangeStep>;

// Request 1: status (0, 0).
ExchangeScript CheckScript();
// Request 16: with a sealed key (32 bytes) the reply must be that key and status (0, 0);
// without one (nullptr) status (2, 1).
ExchangeScript GetKeyScript(std::string_view id, std::string_view mask, const uint8_t* sealedKey);

// The reason text of a reply that differs from the expected bytes.
std::string DescribeMismatch(const ExchangeStep& step, std::string_view got);
