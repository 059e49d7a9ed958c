// Sealed exports: what opens, and every way a file can fail to.
#include "backup/SealedExport.h"

#include "backup/ExportPayload.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using SealedExport::EFault;

constexpr const char* kPassphrase = "correct horse battery";

CKeyRecord Record(const std::string& id, char fill)
{
    CKeyRecord record;
    record.SetId(id);
    const std::string key(CKeyRecord::kKeyLength, fill);
    record.SetKey(key.data());
    return record;
}

ExportPayload::SExport Sample(size_t keys)
{
    ExportPayload::SExport exported;
    exported.createdAt = 1796000000;
    exported.host = "keyserver-1";
    exported.contents.port = 8080;
    exported.contents.password = "coop";
    for (size_t i = 0; i < keys; ++i) {
        const std::string id = "00A0B0" + std::to_string(100000 + i);
        exported.contents.keys[id] = Record(id, static_cast<char>(i));
    }
    return exported;
}

TEST(SealedExport, EveryChangeToTheFileIsRefusedWithItsReason)
{
    // Several chunks, so that a change past the first one is seen as such.
    const std::string plain = ExportPayload::Encode(Sample(3000));
    const std::string sealed = SealedExport::Seal(plain, kPassphrase, SealedExport::LeastCost());
    ASSERT_GT(sealed.size(), 2 * 64 * 1024u);
    const SealedExport::SUnsealed good = SealedExport::Unseal(sealed, kPassphrase);
    ASSERT_EQ(good.fault, EFault::None);
    EXPECT_EQ(good.plain, plain);

    const auto flipped = [&sealed](size_t at) {
        std::string changed = sealed;
        changed[at] = static_cast<char>(changed[at] ^ 0x01);
        return changed;
    };
    std::string newer = sealed;
    newer[9] = 2;
    const size_t secondChunk = 68 + 4 + 64 * 1024 + 17 + 4 + 10;
    struct Case
    {
        const char* name;
        std::string file;
        std::string passphrase;
        EFault fault;
    };
    const Case cases[] = {
        {"wrong passphrase", sealed, "correct horse battery!", EFault::WrongPassphrase},
        {"magic", flipped(0), kPassphrase, EFault::NotSealed},
        {"newer format", newer, kPassphrase, EFault::NewerFormat},
        {"derivation cost", flipped(12), kPassphrase, EFault::Unacceptable},
        {"salt", flipped(30), kPassphrase, EFault::WrongPassphrase},
        {"stream header", flipped(50), kPassphrase, EFault::WrongPassphrase},
        {"first chunk", flipped(100), kPassphrase, EFault::WrongPassphrase},
        {"second chunk", flipped(secondChunk), kPassphrase, EFault::Altered},
        {"last byte", flipped(sealed.size() - 1), kPassphrase, EFault::Altered},
        {"cut inside the header", sealed.substr(0, 40), kPassphrase, EFault::Truncated},
        {"cut after a chunk", sealed.substr(0, 68 + 4 + 64 * 1024 + 17), kPassphrase, EFault::Truncated},
        {"cut inside the last chunk", sealed.substr(0, sealed.size() - 5), kPassphrase, EFault::Truncated},
        {"bytes after the end", sealed + "x", kPassphrase, EFault::Altered},
        {"no export at all", std::string(200, 'x'), kPassphrase, EFault::NotSealed},
    };
    for (const Case& test : cases) {
        const SealedExport::SUnsealed opened = SealedExport::Unseal(test.file, test.passphrase);
        EXPECT_EQ(opened.fault, test.fault) << test.name;
        EXPECT_TRUE(opened.plain.empty()) << test.name;
    }
    EXPECT_EQ(SealedExport::Unseal(newer, kPassphrase).version, 2);
}

// The header is judged before any passphrase is asked: a derivation may cost at most four
// times the default, in passes, in memory and in both together.
TEST(SealedExport, AHeaderAskingMoreThanFourTimesTheDefaultCostIsRefusedUnopened)
{
    const std::string sealed = SealedExport::Seal("x", kPassphrase, SealedExport::LeastCost());
    const auto withCost = [&sealed](uint64_t ops, uint64_t memory) {
        std::string changed = sealed;
        for (int i = 0; i < 8; ++i) {
            changed[12 + 7 - i] = static_cast<char>((ops >> (8 * i)) & 0xFF);
            changed[20 + 7 - i] = static_cast<char>((memory >> (8 * i)) & 0xFF);
        }
        return changed;
    };
    const SealedExport::SKdfCost normal = SealedExport::DefaultCost();
    const uint64_t mib = 1 << 20;
    const struct
    {
        uint64_t ops;
        uint64_t memory;
        EFault fault;
    } cases[] = {
        {normal.opsLimit, normal.memLimit, EFault::None},
        {4 * normal.opsLimit, normal.memLimit, EFault::None},
        {normal.opsLimit, 4 * normal.memLimit, EFault::None},
        {4 * normal.opsLimit + 1, 64 * mib, EFault::Unacceptable},
        {normal.opsLimit, 4 * normal.memLimit + 1024, EFault::Unacceptable},
        {2 * normal.opsLimit, 4 * normal.memLimit, EFault::Unacceptable},
        {12, 1024 * mib, EFault::Unacceptable},
        {64, 1024 * mib, EFault::Unacceptable},
        {0, 64 * mib, EFault::Unacceptable},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(SealedExport::CheckHeader(withCost(test.ops, test.memory)).fault, test.fault)
            << test.ops << " passes, " << test.memory / mib << " MiB";
    }
    EXPECT_EQ(SealedExport::CheckHeader(sealed.substr(0, 30)).fault, EFault::Truncated);
}

TEST(ExportPayload, RoundTripsAndRefusesWhatTheStoreCouldNotTake)
{
    const ExportPayload::SExport sample = Sample(3);
    const auto decoded = ExportPayload::Decode(ExportPayload::Encode(sample));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->createdAt, sample.createdAt);
    EXPECT_EQ(decoded->host, sample.host);
    EXPECT_EQ(decoded->contents.port, 8080);
    EXPECT_EQ(decoded->contents.password, "coop");
    ASSERT_EQ(decoded->contents.keys.size(), 3u);
    for (const auto& [id, record] : sample.contents.keys) {
        EXPECT_EQ(decoded->contents.keys.at(id).GetKey().View(), record.GetKey().View()) << id;
    }

    // Peers come back with their secrets; a payload without peers reads as before them.
    ExportPayload::SExport paired = Sample(1);
    paired.peers = {{"b", "192.0.2.7", 51056, std::string(32, 's')}, {"c", "kh-c.example", 4000, std::string(32, 't')}};
    const auto decodedPaired = ExportPayload::Decode(ExportPayload::Encode(paired));
    ASSERT_TRUE(decodedPaired);
    EXPECT_EQ(decodedPaired->peers, paired.peers);
    EXPECT_EQ(ExportPayload::Encode(sample)[4], '\x01');

    const auto with = [](auto change) {
        ExportPayload::SExport exported = Sample(1);
        change(exported.contents);
        return ExportPayload::Encode(exported);
    };
    const auto withPeer = [](ExportPayload::SPeer peer) {
        ExportPayload::SExport exported = Sample(1);
        exported.peers = {peer};
        if (peer.name == "twice") {
            exported.peers.push_back(peer);
        }
        return ExportPayload::Encode(exported);
    };
    const std::string bytes = ExportPayload::Encode(Sample(2));
    const std::string pairedBytes = ExportPayload::Encode(paired);
    const std::pair<const char*, std::string> refused[] = {
        {"port 0", with([](CKeyStore::SContents& c) { c.port = 0; })},
        {"password over 20 bytes", with([](CKeyStore::SContents& c) { c.password = std::string(21, 'p'); })},
        {"empty ID", with([](CKeyStore::SContents& c) { c.keys[""] = Record("", 'k'); })},
        {"ID with NUL", with([](CKeyStore::SContents& c) { c.keys[std::string("A\0B", 3)] = Record("AB", 'k'); })},
        {"ID twice in other case", with([](CKeyStore::SContents& c) { c.keys["00a0b0100000"] = Record("x", 'k'); })},
        {"peer without a name", withPeer({"", "h", 1, std::string(32, 's')})},
        {"peer without a host", withPeer({"b", "", 1, std::string(32, 's')})},
        {"peer without a port", withPeer({"b", "h", 0, std::string(32, 's')})},
        {"secret of 31 bytes", withPeer({"b", "h", 1, std::string(31, 's')})},
        {"peer name twice", withPeer({"twice", "h", 1, std::string(32, 's')})},
        {"peers cut short", pairedBytes.substr(0, pairedBytes.size() - 1)},
        {"cut short", bytes.substr(0, bytes.size() - 1)},
        {"bytes after the end", bytes + "x"},
    };
    for (const auto& [name, payload] : refused) {
        EXPECT_FALSE(ExportPayload::Decode(payload)) << name;
    }
}

} // namespace
