#include "RequestCommand.h"

#include "keys/CKeyRecord.h"
#include "keys/CMaskBuffer.h"
#include "net/AddressResolution.h"
#include "net/CSocketError.h"
#include "net/CSocketEvent.h"
#include "net/CSocketTimeOut.h"
#include "net/SocketErrors.h"
#include "platform/SafeText.h"
#include "protocol/AuthError.h"
#include "protocol/CKeyServerClient.h"
#include "protocol/ConnectError.h"
#include "protocol/InvalidRequest.h"

#include <charconv>
#include <exception>
#include <random>

const char kRequestUsage[] = "usage: corvane-request check HOST PORT\n"
                             "       corvane-request get-key HOST PORT ID [MASKHEX]\n"
                             "       corvane-request fetch-keys HOST PORT PASSWORD ID... [--mask MASKHEX]\n"
                             "       corvane-request store-keys HOST PORT PASSWORD ID=KEYHEX... [--mask MASKHEX]\n"
                             "PASSWORD - reads the password from the first line of standard input.\n"
                             "--timeout SECONDS (1 to 3600, default 10) limits the whole request, before any\n"
                             "command or after it.\n"
                             "Without a mask a random 32-byte transfer mask is used.\n"
                             "Exit status: 0 answered, 1 refused or failed (the cause on standard error),\n"
                             "2 usage error. --version shows the version. See corvane-request(1).\n";

namespace {

constexpr size_t kKeyLength = CKeyRecord::kKeyLength;

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<uint16_t> ParsePort(const std::string& text)
{
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(value);
}

// A mask travels as a data item, and the service refuses an empty one.
std::optional<std::string> ParseMask(const std::string& text, std::string& error)
{
    std::optional<std::string> mask = FromHex(text);
    if (!mask || mask->empty()) {
        error = "the mask \"" + text + "\" is not a non-empty hex byte string";
        return std::nullopt;
    }
    return mask;
}

CMaskBuffer MaskOf(const RequestCommand& command)
{
    if (command.mask) {
        return CMaskBuffer(command.mask->data(), command.mask->size());
    }
    std::random_device source;
    std::string bytes(kKeyLength, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(source() & 0xFF);
    }
    return CMaskBuffer(bytes.data(), bytes.size());
}

std::string OpenedKey(const CKeyRecord& received, std::string_view id, const CMaskBuffer& mask)
{
    CKeyRecord record = received;
    record.SetId(id);
    record.SetTransferMask(mask.View());
    record.OpenFromTransfer();
    return ToHex(record.GetKey().View());
}

} // namespace

std::string ToHex(std::string_view bytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char byte : bytes) {
        out += kDigits[(static_cast<unsigned char>(byte) >> 4) & 0xF];
        out += kDigits[static_cast<unsigned char>(byte) & 0xF];
    }
    return out;
}

std::optional<std::string> FromHex(std::string_view text)
{
    if (text.size() % 2 != 0) {
        return std::nullopt;
    }
    std::string out;
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = HexDigit(text[i]);
        const int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(high * 16 + low);
    }
    return out;
}

namespace {

// Takes --timeout SECONDS out of the arguments, wherever it stands.
bool TakeTimeOut(std::vector<std::string>& args, int32_t& timeOutMs, std::string& error)
{
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--timeout") {
            continue;
        }
        unsigned seconds = 0;
        const std::string text = i + 1 < args.size() ? args[i + 1] : std::string();
        const auto [end, failed] = std::from_chars(text.data(), text.data() + text.size(), seconds);
        if (text.empty() || failed != std::errc() || end != text.data() + text.size() || seconds == 0 ||
            seconds > 3600) {
            error = "--timeout needs a number of seconds from 1 to 3600";
            return false;
        }
        timeOutMs = static_cast<int32_t>(seconds * 1000);
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
        return true;
    }
    return true;
}

} // namespace

std::optional<RequestCommand> ParseRequestCommand(const std::vector<std::string>& given, std::string& error)
{
    RequestCommand command;
    std::vector<std::string> args = given;
    if (!TakeTimeOut(args, command.timeOutMs, error)) {
        return std::nullopt;
    }
    if (args.empty()) {
        error = "no command given";
        return std::nullopt;
    }
    const std::string& verb = args[0];
    size_t minimum = 3;
    if (verb == "check") {
        command.kind = RequestCommand::Kind::Check;
    } else if (verb == "get-key") {
        command.kind = RequestCommand::Kind::GetKey;
        minimum = 4;
    } else if (verb == "fetch-keys") {
        command.kind = RequestCommand::Kind::FetchKeys;
        minimum = 4;
    } else if (verb == "store-keys") {
        command.kind = RequestCommand::Kind::StoreKeys;
        minimum = 4;
    } else {
        error = "unknown command \"" + verb + "\"";
        return std::nullopt;
    }
    if (args.size() < minimum) {
        error = verb + " needs more arguments";
        return std::nullopt;
    }
    command.host = args[1];
    const std::optional<uint16_t> port = ParsePort(args[2]);
    if (!port) {
        error = "the port \"" + args[2] + "\" is not a number from 1 to 65535";
        return std::nullopt;
    }
    command.port = *port;

    switch (command.kind) {
    case RequestCommand::Kind::Check:
        if (args.size() != 3) {
            error = "check takes no more than HOST PORT";
            return std::nullopt;
        }
        return command;
    case RequestCommand::Kind::GetKey:
        if (args.size() > 5) {
            error = "get-key takes HOST PORT ID [MASKHEX]";
            return std::nullopt;
        }
        command.ids.push_back(args[3]);
        if (args.size() == 5 && !(command.mask = ParseMask(args[4], error))) {
            return std::nullopt;
        }
        return command;
    case RequestCommand::Kind::FetchKeys:
    case RequestCommand::Kind::StoreKeys:
        break;
    }

    command.password = args[3];
    command.passwordFromInput = args[3] == "-";
    for (size_t i = 4; i < args.size(); ++i) {
        if (args[i] == "--mask") {
            if (i + 1 >= args.size() || !(command.mask = ParseMask(args[i + 1], error))) {
                if (error.empty()) {
                    error = "--mask needs a hex value";
                }
                return std::nullopt;
            }
            ++i;
        } else if (command.kind == RequestCommand::Kind::FetchKeys) {
            command.ids.push_back(args[i]);
        } else {
            const size_t equals = args[i].find('=');
            const std::optional<std::string> key =
                equals == std::string::npos ? std::nullopt : FromHex(std::string_view(args[i]).substr(equals + 1));
            if (!key || key->size() != kKeyLength || equals == 0) {
                error = "\"" + args[i] + "\" is not ID=KEYHEX with a 32-byte key (64 hex digits)";
                return std::nullopt;
            }
            command.ids.push_back(args[i].substr(0, equals));
            command.keys.push_back(*key);
        }
    }
    if (command.kind == RequestCommand::Kind::StoreKeys && command.ids.empty()) {
        error = "store-keys needs at least one ID=KEYHEX";
        return std::nullopt;
    }
    return command;
}

namespace {

void SendRequest(CKeyServerClient& client, const RequestCommand& command, std::ostream& out)
{
    client.Open(command.host, command.port);
    switch (command.kind) {
    case RequestCommand::Kind::Check: {
        const StatusBlock status = client.Check();
        out << "status " << status.status << " " << status.detail << "\n";
        return;
    }
    case RequestCommand::Kind::GetKey: {
        const CMaskBuffer mask = MaskOf(command);
        const CKeyRecord received = client.GetKey(command.ids[0], mask);
        out << "mask   " << ToHex(mask.View()) << "\n";
        out << "sealed " << ToHex(received.GetKey().View()) << "\n";
        if (received.HasKey()) {
            out << "key    " << OpenedKey(received, command.ids[0], mask) << "\n";
        }
        return;
    }
    case RequestCommand::Kind::FetchKeys: {
        const CMaskBuffer mask = MaskOf(command);
        const std::vector<CKeyRecord> received = client.FetchKeys(command.password, command.ids, mask);
        out << "mask   " << ToHex(mask.View()) << "\n";
        for (size_t i = 0; i < received.size(); ++i) {
            const std::string& id = i < command.ids.size() ? command.ids[i] : std::string();
            out << SafeText(id) << " sealed " << ToHex(received[i].GetKey().View());
            if (received[i].HasKey() && i < command.ids.size()) {
                out << " key " << OpenedKey(received[i], id, mask);
            }
            out << "\n";
        }
        return;
    }
    case RequestCommand::Kind::StoreKeys: {
        const CMaskBuffer mask = MaskOf(command);
        std::vector<CKeyRecord> records;
        for (size_t i = 0; i < command.ids.size(); ++i) {
            // The service upper-cases the ID and opens with that, so seal with it too.
            CKeyRecord record;
            record.SetId(command.ids[i]);
            record.SetKey(command.keys[i].data());
            record.SetTransferMask(mask.View());
            record.SealForTransfer();
            records.push_back(record);
        }
        client.StoreKeys(command.password, records, mask);
        out << "stored " << records.size() << (records.size() == 1 ? " key" : " keys") << "\n";
        return;
    }
    }
}

std::string Where(const RequestCommand& command)
{
    return command.host + " port " + std::to_string(command.port);
}

std::string StatusText(const StatusBlock& status)
{
    return "(status " + std::to_string(status.status) + " " + std::to_string(status.detail) + ")";
}

// The connection could not be made: the socket layer's last error says why.
std::string ExplainConnectFailure(const RequestCommand& command)
{
    if (ZiRez::GetAddressFamily(command.host) == ZiRez::FAMILY_UNSPEC) {
        return "cannot find the host '" + command.host + "': give an IP address or a name the resolver knows";
    }
    const int32_t error = ZiRez::GetLastSocketError();
    switch (error) {
    case 10061:
        return "connection refused by " + Where(command) +
               ": no key server listens there (is the service running? see 'Oxlade status')";
    case 10060:
        return "time-out: " + Where(command) + " did not answer within " + std::to_string(command.timeOutMs / 1000) +
               " s: check the address, the network and the firewall there";
    default:
        break;
    }
    std::string text = ZiRez::ErrorTextOf(error);
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return "cannot reach " + Where(command) + (text.empty() ? "" : ": " + text);
}

// A status in an error position: what the server has to say about the request.
std::string ExplainExecutionFailure(const RequestCommand& command, const StatusBlock& status)
{
    if (status.status == ST_EXEC_ERROR && status.detail == 1) {
        return command.kind == RequestCommand::Kind::GetKey
                   ? "unknown identifier: " + Where(command) + " has no key registered for " + command.ids[0] + " " +
                         StatusText(status)
                   : "unknown identifier: " + Where(command) +
                         " has no key for at least one of the identifiers asked for " + StatusText(status);
    }
    if (status.status == ST_EXEC_ERROR) {
        return "refused by " + Where(command) + ": an identifier or key it cannot store " + StatusText(status);
    }
    return "the request failed at " + Where(command) + " " + StatusText(status);
}

} // namespace

int RunRequestCommand(const RequestCommand& command, std::ostream& out, std::string& error)
{
    CKeyServerClient client;
    client.SetTimeOut(command.timeOutMs);
    ZiRez::SetLastSocketError(0);
    try {
        SendRequest(client, command, out);
        return 0;
    } catch (const KeyServer::AuthError& refused) {
        error = "refused: the cooperation password is wrong, or " + Where(command) + " does not permit cooperation (" +
                refused.what() + ")";
    } catch (const KeyServer::InvalidRequest& refused) {
        error = "refused: " + Where(command) + " does not support this request (" + refused.what() + ")";
    } catch (const KeyServer::ConnectError& failed) {
        error = std::string(failed.what()).find("timeout") != std::string::npos
                    ? "time-out: " + Where(command) + " accepted the connection but did not take the request"
                    : ExplainConnectFailure(command);
    } catch (const ZiRez::CSocketTimeOut&) {
        error = "time-out: " + Where(command) + " did not finish the request within " +
                std::to_string(command.timeOutMs / 1000) + " s";
    } catch (const ZiRez::CSocketError& failed) {
        const StatusBlock& status = client.LastStatus();
        error = failed.GetCode() == kPacketErrorCode && status.status != ST_OK
                    ? ExplainExecutionFailure(command, status)
                    : "the connection to " + Where(command) + " failed: " + failed.what() + " (code " +
                          std::to_string(failed.GetCode()) + ")";
    } catch (const std::exception& failed) {
        error = failed.what();
    }
    return 1;
}
