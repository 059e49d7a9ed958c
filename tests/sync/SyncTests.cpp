// The ledger of versions on the platform's real store, and the order of versions.
#include "StoreTestSupport.h"
#include "settings/CKeyStore.h"
#include "sync/CSyncLedger.h"
#include "sync/SyncEntry.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Sync::Order;
using Sync::SEntry;
using Sync::VersionVector;

const std::string kA(16, 'a');
const std::string kB(16, 'b');
const std::string kC(16, 'c');

TEST(VersionOrder, EachServersCountDecides)
{
    struct SCase
    {
        VersionVector first;
        VersionVector second;
        Order order;
    };
    const SCase cases[] = {
        {{}, {}, Order::Same},
        {{{kA, 1}}, {{kA, 1}}, Order::Same},
        {{{kA, 2}}, {{kA, 1}}, Order::Newer},
        {{{kA, 1}}, {{kA, 1}, {kB, 1}}, Order::Older},
        {{{kA, 1}, {kB, 0}}, {{kA, 1}}, Order::Same},
        {{{kA, 2}, {kB, 1}}, {{kA, 1}, {kB, 2}}, Order::Concurrent},
        {{{kA, 1}}, {{kB, 1}}, Order::Concurrent},
        {{{kA, 3}, {kB, 1}, {kC, 1}}, {{kA, 2}, {kB, 1}}, Order::Newer},
    };
    for (const SCase& c : cases) {
        EXPECT_EQ(Sync::Compare(c.first, c.second), c.order);
        const Order mirrored = c.order == Order::Newer   ? Order::Older
                               : c.order == Order::Older ? Order::Newer
                                                         : c.order;
        EXPECT_EQ(Sync::Compare(c.second, c.first), mirrored);
        const VersionVector merged = Sync::Merge(c.first, c.second);
        EXPECT_NE(Sync::Compare(merged, c.first), Order::Older);
        EXPECT_NE(Sync::Compare(merged, c.second), Order::Older);
    }
}

TEST(SyncEntryCodec, WhatCannotBeAnEntryIsRefused)
{
    const SEntry entry{"0000AA000001", {{kA, 7}, {kB, 1}}, false, 1800000000, std::string(32, 'k')};
    std::string bytes;
    Sync::EncodeEntry(bytes, entry, true);
    ByteFields::CReader whole(bytes);
    const auto decoded = Sync::DecodeEntry(whole, true);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->version, entry.version);
    EXPECT_EQ(decoded->key, entry.key);
    EXPECT_TRUE(whole.AtEnd());
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        ByteFields::CReader in(std::string_view(bytes).substr(0, cut));
        EXPECT_FALSE(Sync::DecodeEntry(in, true)) << "cut at " << cut;
    }
    std::string noId;
    Sync::EncodeEntry(noId, SEntry{"", {{kA, 1}}, true, 0, ""}, true);
    ByteFields::CReader empty(noId);
    EXPECT_FALSE(Sync::DecodeEntry(empty, true));
}

class LedgerTest : public StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        ASSERT_EQ(m_store.CreateLayout(), 1);
        ASSERT_TRUE(m_ledger.Load());
    }

    std::string Stored(const std::string& id)
    {
        const auto list = m_store.LoadKeyList();
        const auto found = list.find(id);
        return found == list.end() ? "" : std::string(reinterpret_cast<const char*>(found->second.GetKey().Data()), 32);
    }

    CKeyStore m_store;
    CSyncLedger m_ledger{m_store};
};

TEST_F(LedgerTest, EveryLocalChangeIsStampedOnceWithAFreshNumber)
{
    const std::string id = "0000AA000001";
    ASSERT_EQ(m_store.StoreKey(MakeRecord(id, KeyBytes(1, 1))), 1);
    EXPECT_EQ(m_ledger.Scan(100), 1u);
    EXPECT_EQ(m_ledger.Scan(101), 0u);
    ASSERT_EQ(m_store.StoreKey(MakeRecord(id, KeyBytes(1, 2))), 1);
    EXPECT_EQ(m_ledger.Scan(102), 1u);
    ASSERT_EQ(m_store.DeleteKey(id), 1);
    EXPECT_EQ(m_ledger.Scan(103), 1u);
    const SEntry& tombstone = m_ledger.Entries().at(id);
    EXPECT_TRUE(tombstone.deleted);
    EXPECT_EQ(tombstone.version, (VersionVector{{m_ledger.ServerId(), 3}}));

    // A ledger read afresh (a restart) knows everything, and numbers on from there.
    CSyncLedger again(m_store);
    ASSERT_TRUE(again.Load());
    EXPECT_EQ(again.Scan(104), 0u);
    ASSERT_EQ(m_store.StoreKey(MakeRecord(id, KeyBytes(1, 3))), 1);
    EXPECT_EQ(again.Scan(105), 1u);
    EXPECT_EQ(again.Entries().at(id).version, (VersionVector{{again.ServerId(), 4}}));
}

TEST_F(LedgerTest, APeersEntryIsTakenIgnoredMergedOrKeptAsideByItsVersion)
{
    const std::string id = "0000BB000001";
    const std::string mine = KeyBytes(2, 1);
    const std::string theirs = KeyBytes(2, 2);
    struct SCase
    {
        const char* name;
        bool registeredHere;
        SEntry offered; // the version's own server is filled in below
        std::string stored;
        size_t conflicts;
    };
    const int64_t now = 1800000000;
    const SCase cases[] = {
        {"new here", false, {id, {{kB, 1}}, false, now, theirs}, theirs, 0},
        {"an old tombstone", false, {id, {{kB, 1}}, true, now - CSyncLedger::kTombstoneSeconds - 1, ""}, "", 0},
        {"newer", true, {id, {{"", 1}, {kB, 1}}, false, now, theirs}, theirs, 0},
        {"a newer deletion", true, {id, {{"", 1}, {kB, 1}}, true, now, ""}, "", 0},
        {"older", true, {id, {}, false, now, theirs}, mine, 0},
        {"concurrent, same key", true, {id, {{kB, 1}}, false, now, mine}, mine, 0},
        {"concurrent, another key", true, {id, {{kB, 1}}, false, now, theirs}, mine, 1},
        {"concurrent deletion", true, {id, {{kB, 1}}, true, now, ""}, mine, 1},
    };
    for (const SCase& c : cases) {
        // Each case on a store of its own: the removal takes the ledger and conflicts too.
        ASSERT_EQ(m_store.RemoveLayout(), 1);
        ASSERT_EQ(m_store.CreateLayout(), 1);
        if (c.registeredHere) {
            ASSERT_EQ(m_store.StoreKey(MakeRecord(id, mine)), 1);
        }
        CSyncLedger ledger(m_store);
        ASSERT_TRUE(ledger.Load());
        ASSERT_TRUE(ledger.Scan(now));
        SEntry offered = c.offered;
        if (offered.version.count("") != 0) {
            offered.version[ledger.ServerId()] = offered.version[""];
            offered.version.erase("");
        }
        const CSyncLedger::SApplied applied = ledger.Apply({offered}, "b", now);
        EXPECT_FALSE(applied.failed) << c.name;
        EXPECT_EQ(Stored(id), c.stored) << c.name;
        EXPECT_EQ(applied.conflicts, c.conflicts) << c.name;
        EXPECT_EQ(CSyncLedger::ReadConflicts().size(), c.conflicts) << c.name;
        // Offered again, nothing is new.
        EXPECT_TRUE(ledger.Apply({offered}, "b", now).news.empty()) << c.name;
        if (c.conflicts != 0) {
            // Settled for the peer's side: its choice, under a version newer than both.
            ASSERT_EQ(CSyncLedger::RequestResolution(id, false), 1) << c.name;
            EXPECT_EQ(ledger.ApplyResolutions(now), 1u) << c.name;
            EXPECT_EQ(Stored(id), offered.key) << c.name;
            EXPECT_TRUE(CSyncLedger::ReadConflicts().empty()) << c.name;
            EXPECT_EQ(Sync::Compare(ledger.Entries().at(id).version, offered.version), Order::Newer) << c.name;
        }
    }
}

} // namespace
