#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The key servers this one syncs with, kept in the store: a name, where it listens and the
// secret both share (masked with this machine's text, as keys are), and how its sync last
// went, which the service writes and the tools show.
class CPeerStore
{
public:
    struct SStatus
    {
        std::string state;    // "in sync", or why not
        int64_t lastSync = 0; // seconds since 1970-01-01 UTC of the last complete sync; 0 for never
        uint32_t waiting = 0; // changes of this server the peer has not had yet
        uint32_t conflicts = 0;
    };
    struct SPeer
    {
        std::string name;
        std::string host;
        uint16_t port = 0;
        std::string secret; // 32 bytes in the clear
        SStatus status;
    };
    enum class Result
    {
        Done,
        Exists,
        Missing,
        Failed,
    };

    // Letters, digits, '.', '-' and '_', 1 to 64 of them.
    static bool ValidName(std::string_view name);

    Result Add(const SPeer& peer);
    Result Remove(std::string_view name);
    // Every peer with its secret and status; nullopt when the store cannot be read.
    std::optional<std::vector<SPeer>> List();
    bool WriteStatus(std::string_view name, const SStatus& status);
};
