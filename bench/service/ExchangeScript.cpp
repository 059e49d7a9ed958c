#include "ExchangeScript.h"

#include "Wire.h"

namespace {

constexpr size_t kKeyLength = 32;

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
    Send(script, Wire::Header(2, static_cast<uint32_t>(bytes.size())), what);
    Send(script, std::string(bytes), what);
    Expect(script, Wire::Ack(), "item ACK");
}

void ExpectStatus(ExchangeScript& script, uint32_t status, uint32_t detail, const char* what)
{
    // The header and the block apart: a status in place of a key is caught at its header.
    const std::string packet = Wire::Status(status, detail);
    Expect(script, packet.substr(0, 8), what);
    Expect(script, packet.substr(8), what);
    Send(script, Wire::Ack(), "status ACK");
}

} // namespace

ExchangeScript CheckScript()
{
    ExchangeScript script;
    Send(script, Wire::Request(1), "request");
    Expect(script, Wire::Ack(), "request ACK");
    ExpectStatus(script, 0, 0, "status (0, 0)");
    script.push_back({ExchangeStep::Kind::ExpectClose, {}, "close"});
    return script;
}

ExchangeScript GetKeyScript(std::string_view id, std::string_view mask, const uint8_t* sealedKey)
{
    ExchangeScript script;
    Send(script, Wire::Request(16), "request");
    Expect(script, Wire::Ack(), "request ACK");
    SendItem(script, id, "identifier");
    SendItem(script, mask, "mask");
    if (sealedKey == nullptr) {
        ExpectStatus(script, 2, 1, "status (2, 1)");
    } else {
        Expect(script, Wire::Header(2, kKeyLength), "sealed key header");
        Expect(script, std::string(reinterpret_cast<const char*>(sealedKey), kKeyLength), "sealed key");
        Send(script, Wire::Ack(), "key ACK");
        ExpectStatus(script, 0, 0, "status (0, 0)");
    }
    script.push_back({ExchangeStep::Kind::ExpectClose, {}, "close"});
    return script;
}

std::string DescribeMismatch(const ExchangeStep& step, std::string_view got)
{
    size_t at = 0;
    while (at < got.size() && at < step.bytes.size() && got[at] == step.bytes[at]) {
        ++at;
    }
    return std::string(step.what) + " differs at byte " + std::to_string(at) + ": got " + Wire::Hex(got) +
           ", expected " + Wire::Hex(step.bytes);
}
