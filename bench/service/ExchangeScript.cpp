#include "ExchangeScript.h"

#include <arpa/inet.h>
#include <cstdio>

namespace {

constexpr size_t kKeyLength = 32;

void PutWord(std::string& out, uint32_t value)
{
    const uint32_t big = htonl(value);
    out.append(reinterpret_cast<const char*>(&big), sizeof big);
}

std::string Header(uint32_t type, uint32_t value)
{
    std::string out;
    PutWord(out, type);
    PutWord(out, value);
    return out;
}

std::string StatusBlock(uint32_t status, uint32_t detail)
{
    std::string out;
    PutWord(out, status);
    PutWord(out, detail);
    out.append(16, '\0');
    return out;
}

void Send(ExchangeScript& script, std::string bytes, const char* what)
{
    script.push_back({ExchangeStep::Kind::Send, std::move(bytes), what});
}

void Expect(ExchangeScript& script, std::string bytes, const char* what)
{
    script.push_back({ExchangeStep::Kind::Expect, std::move(bytes), what});
}

// Each header and each payload is one write, as a unit sends them.
void SendItem(ExchangeScript& script, std::string_view bytes, const char* what)
{
    Send(script, Header(2, static_cast<uint32_t>(bytes.size())), what);
    Send(script, std::string(bytes), what);
    Expect(script, Header(3, 0), "item ACK");
}

void ExpectStatus(ExchangeScript& script, uint32_t status, uint32_t detail, const char* what)
{
    Expect(script, Header(5, 24), what);
    Expect(script, StatusBlock(status, detail), what);
    Send(script, Header(3, 0), "status ACK");
}

} // namespace

ExchangeScript CheckScript()
{
    ExchangeScript script;
    Send(script, Header(1, 1), "request");
    Expect(script, Header(3, 0), "request ACK");
    ExpectStatus(script, 0, 0, "status (0, 0)");
    script.push_back({ExchangeStep::Kind::ExpectClose, {}, "close"});
    return script;
}

ExchangeScript GetKeyScript(std::string_view id, std::string_view mask, const uint8_t* sealedKey)
{
    ExchangeScript script;
    Send(script, Header(1, 16), "request");
    Expect(script, Header(3, 0), "request ACK");
    SendItem(script, id, "identifier");
    SendItem(script, mask, "mask");
    if (sealedKey == nullptr) {
        ExpectStatus(script, 2, 1, "status (2, 1)");
    } else {
        Expect(script, Header(2, kKeyLength), "sealed key header");
        Expect(script, std::string(reinterpret_cast<const char*>(sealedKey), kKeyLength), "sealed key");
        Send(script, Header(3, 0), "key ACK");
        ExpectStatus(script, 0, 0, "status (0, 0)");
    }
    script.push_back({ExchangeStep::Kind::ExpectClose, {}, "close"});
    return script;
}

std::string WireHeader(uint32_t type, uint32_t value)
{
    return Header(type, value);
}

std::string WireData(std::string_view bytes)
{
    return Header(2, static_cast<uint32_t>(bytes.size())) + std::string(bytes);
}

std::string WireInt(int32_t value)
{
    std::string out = Header(2, 4);
    PutWord(out, static_cast<uint32_t>(value));
    return out;
}

std::string HexText(std::string_view bytes)
{
    std::string out;
    for (const char byte : bytes) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(byte));
        out += digits;
    }
    return out;
}

std::string DescribeMismatch(const ExchangeStep& step, std::string_view got)
{
    size_t at = 0;
    while (at < got.size() && at < step.bytes.size() && got[at] == step.bytes[at]) {
        ++at;
    }
    return std::string(step.what) + " differs at byte " + std::to_string(at) + ": got " + HexText(got) + ", expected " +
           HexText(step.bytes);
}
