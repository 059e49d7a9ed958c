#include "ExportPayload.h"

#include "keys/AsciiCase.h"
#include "keys/ByteFields.h"
#include "settings/RegistryTypes.h"

#include <set>

namespace ExportPayload {

namespace {

using ByteFields::CReader;
using ByteFields::Put;

constexpr std::string_view kMagic{"CKEP", 4};
constexpr uint8_t kVersionWithoutPeers = 1;
constexpr uint8_t kVersion = 2;
constexpr size_t kSecretLength = 32;
constexpr size_t kMaxPeerName = 64;

} // namespace

std::string Encode(const SExport& exported)
{
    const CKeyStore::SContents& contents = exported.contents;
    std::string out(kMagic);
    out.push_back(static_cast<char>(exported.peers.empty() ? kVersionWithoutPeers : kVersion));
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
    if (!exported.peers.empty()) {
        Put(out, exported.peers.size(), 2);
        for (const SPeer& peer : exported.peers) {
            ByteFields::PutText(out, peer.name, 1);
            ByteFields::PutText(out, peer.host.substr(0, 255), 1);
            Put(out, peer.port, 2);
            out += peer.secret;
        }
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
    if (!in.Take(kMagic.size(), magic) || magic != kMagic || !in.Number(1, version) ||
        (version != kVersion && version != kVersionWithoutPeers) || !in.Number(8, created) ||
        !in.Text(1, exported.host) || !in.Number(2, port) || !in.Text(1, contents.password) || !in.Number(4, count)) {
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
    uint64_t peers = 0;
    if (version == kVersion && !in.Number(2, peers)) {
        return std::nullopt;
    }
    std::set<std::string> names;
    for (uint64_t i = 0; i < peers; ++i) {
        SPeer peer;
        uint64_t peerPort = 0;
        std::string_view secret;
        if (!in.Text(1, peer.name) || !in.Text(1, peer.host) || !in.Number(2, peerPort) ||
            !in.Take(kSecretLength, secret) || peer.name.empty() || peer.name.size() > kMaxPeerName ||
            peer.host.empty() || peerPort == 0 || !names.insert(peer.name).second) {
            return std::nullopt;
        }
        peer.port = static_cast<uint16_t>(peerPort);
        peer.secret = secret;
        exported.peers.push_back(std::move(peer));
    }
    if (!in.AtEnd()) {
        return std::nullopt;
    }
    return exported;
}

} // namespace ExportPayload
