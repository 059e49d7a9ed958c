#include "AdminTest.h"
#include "Wire.h"

#include <string>

namespace {

const std::string kPassword = "パスワード";
const std::string kPassword932 = "\x83\x70\x83\x58\x83\x8F\x81\x5B\x83\x68";
const std::string kId1 = "00A0B0C0D0E0";
const std::string kId2 = "00A0B0C0D0E1";

class TransferTest : public AdminTest
{
protected:
    std::string Target() const { return "127.0.0.1:" + std::to_string(m_target.port); }

    CKeyServer m_target{kPassword932};
};

TEST_F(TransferTest, CopiedKeysAreServedByTheTarget)
{
    Register(kId1, 1);
    Register(kId2, 2);
    Register("00A0B0C0D0E2", 3);
    terminal.interactive = true;
    terminal.typed = {kPassword};
    ASSERT_EQ(Run({"copy", Target(), "00a0b0c0d0e0", kId2}), 0) << err;
    EXPECT_EQ(out, "2 of 2 keys reached " + Target() + ".\n");
    EXPECT_EQ(terminal.asked, std::vector<std::string>{"Cooperation password of " + Target() + ": "});
    EXPECT_EQ(m_target.Served(kId1), ServedKey(kId1, 1));
    EXPECT_EQ(m_target.Served(kId2), ServedKey(kId2, 2));
    EXPECT_EQ(m_target.Served("00A0B0C0D0E2"), Wire::Status(2, 1));

    if (Harness::IPv6LoopbackWorks()) {
        ASSERT_EQ(Run({"copy", "--stdin", "[::1]:" + std::to_string(m_target.port), "--all"}, kPassword + "\n"), 0)
            << err;
        EXPECT_EQ(out, "3 of 3 keys reached [::1]:" + std::to_string(m_target.port) + ".\n");
        EXPECT_EQ(m_target.Served("00A0B0C0D0E2"), ServedKey("00A0B0C0D0E2", 3));
    }
    EXPECT_EQ(Run({"copy", "--stdin", Target(), "00A0B0C0D0E9"}, kPassword + "\n"), 1);
    EXPECT_EQ(err, "corvane-admin: 00A0B0C0D0E9 is not registered here: nothing copied (see 'corvane-admin list')\n");
}

TEST_F(TransferTest, ALargeCopyGoesInSeveralRequests)
{
    // One more key than a request of 12-character IDs may carry.
    std::vector<CKeyRecord> records(11397);
    for (size_t i = 0; i < records.size(); ++i) {
        const std::string number = std::to_string(i);
        records[i].SetId(std::string(12 - number.size(), '0') + number);
        records[i].SetKey(Wire::Key(static_cast<unsigned char>(i)).data());
    }
    for (const int stored : store.StoreKeys(records)) {
        ASSERT_EQ(stored, 1);
    }
    terminal.showsProgress = true;
    ASSERT_EQ(Run({"copy", "--all", "--stdin", Target()}, kPassword + "\n"), 0) << err;
    EXPECT_EQ(out, "11397 of 11397 keys reached " + Target() + ".\n");
    const std::string progress = "Copying keys to " + Target() + ": ";
    EXPECT_EQ(terminal.progress,
              (std::vector<std::string>{progress + "11396 of 11397", progress + "11397 of 11397", "end"}));
    EXPECT_EQ(m_target.Served("000000000000"), ServedKey("000000000000", 0));
    EXPECT_EQ(m_target.Served("000000011396"), ServedKey("000000011396", static_cast<unsigned char>(11396)));
    std::string count;
    EXPECT_EQ(Harness::StoreTool(m_target.dir.Path(), {"count"}, &count), 0);
    EXPECT_EQ(count, "11397\n");
}

TEST_F(TransferTest, FetchTakesTheKeysTheTargetHasAndNamesTheOthers)
{
    m_target.Register(kId1, 1);
    m_target.Register(kId2, 2);
    Register(kId2, 9);
    const std::vector<std::string> fetch = {"fetch",        "--stdin",      Target(),      kId1,
                                            "00A0B0C0D0E8", "00a0b0c0d0e1", "00A0B0C0D0E9"};
    EXPECT_EQ(Run(fetch, kPassword + "\n"), 1);
    EXPECT_EQ(err, "corvane-admin: no terminal to ask on: add --yes to replace the keys registered here\n");
    EXPECT_EQ(KeyOf(kId1), "");

    terminal.interactive = true;
    terminal.typed = {"y"};
    EXPECT_EQ(Run(fetch, kPassword + "\n"), 1);
    EXPECT_EQ(terminal.asked, std::vector<std::string>{kId2 + " is registered here already. Replace with the keys of " +
                                                       Target() + "?"});
    EXPECT_EQ(out, "2 of 4 keys fetched from " + Target() + " and registered.\n");
    EXPECT_EQ(err, "corvane-admin: " + Target() +
                       " has no key for 00A0B0C0D0E8 and 00A0B0C0D0E9: check the IDs on that key server\n");
    EXPECT_EQ(KeyOf(kId1), Wire::Key(1));
    EXPECT_EQ(KeyOf(kId2), Wire::Key(2));
    EXPECT_EQ(Registered(), (std::vector<std::string>{kId1, kId2}));
}

TEST_F(TransferTest, AWrongPasswordAndAClosedPortAreTold)
{
    Register(kId1, 1);
    Register(kId2, 2);
    const std::string closed = "127.0.0.1:" + std::to_string(Harness::FreePort());
    const struct
    {
        std::vector<std::string> args;
        std::string password;
        std::string out;
        std::string err;
    } cases[] = {
        {{"copy", "--stdin", Target(), "--all"},
         "password",
         "0 of 2 keys reached " + Target() + ".\n",
         "the key server at " + Target() + " refused the password: give the cooperation password set there"},
        {{"copy", "--stdin", closed, "--all"},
         kPassword,
         "0 of 2 keys reached " + closed + ".\n",
         "cannot connect to the key server at " + closed +
             ": check the address, the port and that its key service runs"},
        {{"fetch", "--stdin", "--yes", Target(), kId1},
         "password",
         "0 of 1 key fetched from " + Target() + " and registered.\n",
         "the key server at " + Target() + " refused the password: give the cooperation password set there"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.password);
        EXPECT_EQ(Run(c.args, c.password + "\n"), 1);
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(err, "corvane-admin: " + c.err + "\n");
    }
    EXPECT_EQ(m_target.Served(kId1), Wire::Status(2, 1)) << "nothing reached the target";
    EXPECT_EQ(KeyOf(kId1), Wire::Key(1)) << "the local key is kept";
}

} // namespace
