// peer add, remove, list and resolve on the store; syncing itself is tested end to end with
// two services in tests/service.
#include "AdminTest.h"
#include "sync/CPeerStore.h"

#include <regex>

namespace {

using PeerCommandsTest = AdminTest;

const std::string kSecretHex = "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";

TEST_F(PeerCommandsTest, WrongCommandLinesAreUsageErrorsAndChangeNothing)
{
    const std::vector<std::vector<std::string>> wrong = {
        {"peer"},
        {"peer", "frob"},
        {"peer", "add", "b"},
        {"peer", "add", "b c", "192.0.2.7"},
        {"peer", "add", std::string(65, 'n'), "192.0.2.7"},
        {"peer", "add", "b", "[2001:db8::1"},
        {"peer", "add", "b", "192.0.2.7:70000"},
        {"peer", "resolve", "00A0B0C0D0E1"},
        {"peer", "resolve", "00A0B0C0D0E1", "--keep", "theirs"},
        {"peer", "list", "extra"},
    };
    for (const auto& args : wrong) {
        EXPECT_EQ(Run(args), 2) << args.size() << " " << args.back();
        EXPECT_FALSE(err.empty()) << args.back();
    }
    EXPECT_EQ(Run({"peer", "add", "--secret-stdin", "b", "192.0.2.7"}, "not hex\n"), 2);
    EXPECT_NE(err.find("64 hexadecimal digits"), std::string::npos) << err;
    EXPECT_TRUE(CPeerStore().List()->empty());
}

TEST_F(PeerCommandsTest, APeerIsAddedWithASecretShownOnceListedAndRemoved)
{
    ASSERT_EQ(Run({"peer", "add", "b", "192.0.2.7"}), 0) << err;
    std::smatch shown;
    ASSERT_TRUE(std::regex_search(out, shown, std::regex("\n([0-9a-f]{64})\n$"))) << out;
    const std::string secretHex = shown[1];
    EXPECT_EQ(Run({"peer", "add", "b", "192.0.2.9"}), 1);
    EXPECT_NE(err.find("a peer named b exists already"), std::string::npos) << err;
    // The other side takes the secret it was given, and shows none.
    ASSERT_EQ(Run({"peer", "add", "--secret-stdin", "c", "[2001:db8::5]:4000"}, kSecretHex + "\n"), 0) << err;
    EXPECT_EQ(out, "Peer c added: [2001:db8::5]:4000.\n");

    ASSERT_EQ(Run({"peer", "list"}), 0) << err;
    EXPECT_EQ(out, "b\t192.0.2.7:51056\tnot synced yet\tlast sync never\t0 waiting\t0 conflicts\n"
                   "c\t[2001:db8::5]:4000\tnot synced yet\tlast sync never\t0 waiting\t0 conflicts\n");
    EXPECT_EQ(out.find(secretHex), std::string::npos) << "a secret is shown once only";
    ASSERT_EQ(Run({"peer", "list", "--json"}), 0) << err;
    EXPECT_NE(out.find("{\"name\": \"c\", \"host\": \"2001:db8::5\", \"port\": 4000, \"state\": \"not synced yet\", "
                       "\"inSync\": false, \"lastSync\": null, \"waiting\": 0, \"conflicts\": 0}"),
              std::string::npos)
        << out;
    ASSERT_EQ(Run({"status"}), 1);
    EXPECT_NE(out.find("Peer:          b, not synced yet, last sync never, 0 waiting, 0 conflicts\n"),
              std::string::npos)
        << out;

    EXPECT_EQ(Run({"peer", "resolve", "00A0B0C0D0E1", "--keep", "local"}), 1);
    EXPECT_NE(err.find("no conflict is recorded for 00A0B0C0D0E1"), std::string::npos) << err;
    EXPECT_EQ(Run({"peer", "remove", "x"}), 1);
    ASSERT_EQ(Run({"peer", "remove", "b"}), 0) << err;
    ASSERT_EQ(CPeerStore().List()->size(), 1u);
    EXPECT_EQ(CPeerStore().List()->front().secret.size(), 32u);
}

} // namespace
