#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One invocation of the request tool: the request to send and what it carries.
struct RequestCommand
{
    enum class Kind
    {
        Check,
        GetKey,
        FetchKeys,
        StoreKeys,
    };

    Kind kind = Kind::Check;
    std::string host;
    uint16_t port = 0;
    std::string password; // fetch-keys, store-keys; "-" on the command line reads stdin
    bool passwordFromInput = false;
    std::vector<std::string> ids;    // get-key (one), fetch-keys
    std::vector<std::string> keys;   // store-keys: the 32 clear key bytes of each id
    std::optional<std::string> mask; // the transfer mask; a random 32-byte one when absent
    int32_t timeOutMs = 10000;       // the whole request's, --timeout SECONDS
};

// Parses the arguments after the program name. On failure returns nothing and sets error
// to a one-line reason.
std::optional<RequestCommand> ParseRequestCommand(const std::vector<std::string>& args, std::string& error);

// Lower-case hex text of the bytes, and back; nothing for odd lengths or non-hex digits.
std::string ToHex(std::string_view bytes);
std::optional<std::string> FromHex(std::string_view text);

// Runs the request against the server and prints its result: 0, or 1 with error set to
// one line that names the cause (connection refused, time-out, unknown identifier, ...).
int RunRequestCommand(const RequestCommand& command, std::ostream& out, std::string& error);

extern const char kRequestUsage[];
