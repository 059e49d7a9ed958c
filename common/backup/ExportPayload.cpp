#include "ExportPayload.h"

#include "keys/AsciiCase.h"
#include "settings/RegistryTypes.h"

#include <set>

namespace ExportPayload {

namespace {

constexpr std::string_view kMagic{"CKEP", 4};
constexpr uint8_t kVersion = 1;

void Put(std::string& out, uint64_t value, int bytes)
{
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

// Reads the payload front to back; any read past the end fails every later one.
class CReader
{
public:
    explicit CReader(std::string_view bytes) : m_bytes(bytes) {}

    bool Number(int bytes, uint64_t& value)
    {
        std::string_view raw;
        if (!Take(static_cast<size_t>(bytes), raw)) {
            return false;
        }
        value = 0;
        for (const char byte : raw) {
            value = (value << 8) | static_cast<uint8_t>(byte);
        }
        return true;
    }
    bool Text(int lengthBytes, std::string& text)
    {
        uint64_t length = 0;
        std::string_view raw;
        if (!Number(lengthBytes, length) || !Take(length, raw)) {
            return false;
        }
        text = raw;
        return true;
    }
    bool Take(size_t length, std::string_view& raw)
    {
        if (m_bytes.size() - m_offset < length) {
            return false;
        }
        raw = m_bytes.substr(m_offset, length);
        m_offset += length;
        return true;
    }
    bool AtEnd() const { return m_offset == m_bytes.size(); }

private:
    std::string_view m_bytes;
    size_t m_offset = 0;
};

} // namespace

std::string Encode(const SExport& exported)
{
    const CKeyStore::SContents& contents = exported.contents;
    std::string out(kMagic);
    out.push_back(static_cast<char>(kVersion));
    Put(out, static_cast<uint64_t>(exported.createdAt), 8);
    const std::string host = exported.host.substr(0, 255);
    Put(out, host.size(), 1);
    out += host;
    Put(out, contents.port, 2);
    Put(out, contents.password.size(), 1);
    out += contents.password;
    Put(out, contents.keys.size(), 4);
    for (const auto& [id, record] : contents.keys) {
        Put(out, id.size(), 2);
        out += id;
        out.append(reinterpret_cast<const char*>(record.GetKey().Data()), CKeyRecord::kKeyLength);
    }
    return out;
}

std::optional<SExport> Decode(std::string_view bytes)
{
    CReader in(bytes);
    std::string_view magic;
    uint64_t version = 0;
    uint64_t created = 0;
    uint64_t port = 0;
    uint64_t count = 0;
    SExport exported;
    CKeyStore::SContents& contents = exported.contents;
    if (!in.Take(kMagic.size(), magic) || magic != kMagic || !in.Number(1, version) || version != kVersion ||
        !in.Number(8, created) || !in.Text(1, exported.host) || !in.Number(2, port) || !in.Text(1, contents.password) ||
        !in.Number(4, count)) {
        return std::nullopt;
    }
    if (port == 0 || contents.password.size() > CKeyStore::kMaxPasswordLength) {
        return std::nullopt;
    }
    exported.createdAt = static_cast<int64_t>(created);
    contents.port = static_cast<uint16_t>(port);
    std::set<std::string> folded;
    for (uint64_t i = 0; i < count; ++i) {
        std::string id;
        std::string_view key;
        if (!in.Text(2, id) || !in.Take(CKeyRecord::kKeyLength, key) || id.empty() ||
            id.size() > kMaxRegistryNameLength || id.find('\0') != std::string::npos ||
            !folded.insert(LowerAscii(id)).second) {
            return std::nullopt;
        }
        CKeyRecord record;
        record.SetId(id);
        record.SetKey(key.data());
        contents.keys.emplace(record.GetId(), record);
    }
    if (!in.AtEnd()) {
        return std::nullopt;
    }
    return exported;
}

} // namespace ExportPayload
