// Every command of corvane-request against the real Ternwick on a private store.
#include "Harness.h"
#include "RawSocket.h"
#include "RequestCommand.h"
#include "Wire.h"
#include "keys/CKeyRecord.h"
#include "settings/CKeyStore.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const std::string kId = "00A0B0C0D0E0";
const std::string kOtherId = "001122334455";
const std::string kPassword = "coop-pass";
const std::string kMaskHex = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";

struct ToolResult
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class RequestToolEndToEndTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_stateDir = std::make_unique<Harness::CTempDir>();
        // Before this process's first use of the store.
        setenv("CORVANE_STATE_DIR", s_stateDir->Path().c_str(), 1);
        CKeyStore store;
        ASSERT_EQ(store.CreateLayout(), 1);
        ASSERT_EQ(store.WritePassword(kPassword), 1);
        for (const std::string& id : {kId, kOtherId}) {
            CKeyRecord record;
            record.SetId(id);
            record.SetKey(KeyOf(id).data());
            ASSERT_EQ(store.StoreKey(record), 1);
        }
        const bool serving = Harness::StartServing(
            [&](uint16_t port) {
                EXPECT_EQ(store.WritePort(port), 1);
                return std::make_unique<Harness::CTernwickProcess>(s_stateDir->Path(), "");
            },
            s_service, s_port);
        ASSERT_TRUE(serving) << s_service->Log();
    }

    static void TearDownTestSuite()
    {
        if (s_service) {
            s_service->Stop(10000);
        }
        s_service.reset();
        s_stateDir.reset();
    }

    static std::string KeyOf(const std::string& id) { return Wire::Key(id == kId ? 1 : 2); }

    static ToolResult Run(const std::vector<std::string>& args, const std::string& input = "")
    {
        const std::string errPath = s_stateDir->Path() + "/err";
        const std::string inPath = s_stateDir->Path() + "/in";
        std::ofstream(inPath) << input;
        std::vector<std::string> argv{CORVANE_REQUEST_TOOL};
        argv.insert(argv.end(), args.begin(), args.end());
        Harness::CChildProcess::SOptions streams;
        streams.input = {Harness::SChildStream::EKind::File, inPath};
        streams.output.kind = Harness::SChildStream::EKind::Pipe;
        streams.error = {Harness::SChildStream::EKind::File, errPath};
        Harness::CChildProcess tool;
        ToolResult result;
        if (tool.Start(argv, streams)) {
            result.out = tool.ReadAll();
            const std::optional<int> status = tool.WaitExit(60000);
            result.exitCode = status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
        }
        result.err = ReadFile(errPath);
        return result;
    }

    static std::string Port() { return std::to_string(s_port); }

    static std::unique_ptr<Harness::CTempDir> s_stateDir;
    static std::unique_ptr<Harness::CTernwickProcess> s_service;
    static uint16_t s_port;
};

std::unique_ptr<Harness::CTempDir> RequestToolEndToEndTest::s_stateDir;
std::unique_ptr<Harness::CTernwickProcess> RequestToolEndToEndTest::s_service;
uint16_t RequestToolEndToEndTest::s_port = 0;

TEST_F(RequestToolEndToEndTest, CheckAnswersStatusZeroOverBothFamiliesAndByName)
{
    for (const char* host : {"127.0.0.1", "::1", "localhost"}) {
        const ToolResult result = Run({"check", host, Port()});
        EXPECT_EQ(result.exitCode, 0) << host << ": " << result.err;
        EXPECT_EQ(result.out, "status 0 0\n") << host;
        EXPECT_EQ(result.err, "") << host;
    }
}

TEST_F(RequestToolEndToEndTest, GetKeyPrintsTheSealedAndTheOpenedKey)
{
    const ToolResult result = Run({"get-key", "127.0.0.1", Port(), kId, kMaskHex});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string mask = *FromHex(kMaskHex);
    EXPECT_EQ(result.out, "mask   " + kMaskHex + "\nsealed " + Wire::Hex(Wire::Seal(KeyOf(kId), kId, mask)) +
                              "\nkey    " + Wire::Hex(KeyOf(kId)) + "\n");
}

TEST_F(RequestToolEndToEndTest, GetKeyWithoutAMaskUsesARandomOneAndStillOpensTheKey)
{
    const ToolResult first = Run({"get-key", "127.0.0.1", Port(), kId});
    const ToolResult second = Run({"get-key", "127.0.0.1", Port(), kId});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_NE(first.out.substr(0, 72), second.out.substr(0, 72)); // mask and sealed key differ
    EXPECT_NE(first.out.find("key    " + Wire::Hex(KeyOf(kId)) + "\n"), std::string::npos) << first.out;
}

TEST_F(RequestToolEndToEndTest, RefusedAndFailedRequestsExitWithOneAndOneLine)
{
    const std::string key(64, 'e');
    const struct
    {
        std::vector<std::string> args;
        std::string input;
        std::string err;
    } cases[] = {
        // Identifiers match exactly; the lower-case text is another unit.
        {{"get-key", "127.0.0.1", Port(), "00a0b0c0d0e0"},
         "",
         "corvane-request: unknown identifier: 127.0.0.1 port " + Port() +
             " has no key registered for 00a0b0c0d0e0 (status 2 1)\n"},
        {{"fetch-keys", "127.0.0.1", Port(), "coop-pasS", kId},
         "",
         "corvane-request: refused: the cooperation password is wrong, or 127.0.0.1 port " + Port() +
             " does not permit cooperation (Invalid password!)\n"},
        {{"fetch-keys", "127.0.0.1", Port(), kPassword, kId, "FFFFFFFFFFFF"},
         "",
         "corvane-request: unknown identifier: 127.0.0.1 port " + Port() +
             " has no key for at least one of the identifiers asked for (status 2 1)\n"},
        {{"store-keys", "127.0.0.1", Port(), "-", "B=" + key},
         "wrong\n",
         "corvane-request: refused: the cooperation password is wrong, or 127.0.0.1 port " + Port() +
             " does not permit cooperation (Invalid password!)\n"},
    };
    for (const auto& entry : cases) {
        const ToolResult result = Run(entry.args, entry.input);
        EXPECT_EQ(result.exitCode, 1) << testing::PrintToString(entry.args);
        EXPECT_EQ(result.err, entry.err) << testing::PrintToString(entry.args);
    }
}

TEST_F(RequestToolEndToEndTest, FetchKeysOpensEveryKeyInOrder)
{
    const ToolResult result =
        Run({"fetch-keys", "127.0.0.1", Port(), "-", kOtherId, kId, "--mask", "abcdef"}, kPassword + "\n");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string mask = "\xab\xcd\xef";
    EXPECT_EQ(result.out, "mask   abcdef\n" + kOtherId + " sealed " +
                              Wire::Hex(Wire::Seal(KeyOf(kOtherId), kOtherId, mask)) + " key " +
                              Wire::Hex(KeyOf(kOtherId)) + "\n" + kId + " sealed " +
                              Wire::Hex(Wire::Seal(KeyOf(kId), kId, mask)) + " key " + Wire::Hex(KeyOf(kId)) + "\n");
}

TEST_F(RequestToolEndToEndTest, StoredKeysAreServedUnderTheUpperCaseIdentifier)
{
    const std::string key = Wire::Key(99);
    const ToolResult stored =
        Run({"store-keys", "127.0.0.1", Port(), kPassword, "00a0b0c0ffee=" + Wire::Hex(key), "--mask", "5a5a"});
    ASSERT_EQ(stored.exitCode, 0) << stored.err;
    EXPECT_EQ(stored.out, "stored 1 key\n");
    const ToolResult got = Run({"get-key", "127.0.0.1", Port(), "00A0B0C0FFEE", "01"});
    ASSERT_EQ(got.exitCode, 0) << got.err;
    EXPECT_NE(got.out.find("key    " + Wire::Hex(key) + "\n"), std::string::npos) << got.out;
}

TEST_F(RequestToolEndToEndTest, UnreachableOrSilentServersAreNamedByCause)
{
    const std::string closedPort = std::to_string(Harness::FreePort());
    // Accepts into its queue but never answers.
    const RawSocket silent = RawSocket::Listen(AF_INET, "127.0.0.1", 0, 4);
    const std::string silentPort = std::to_string(silent.Port());
    const struct
    {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"check", "127.0.0.1", closedPort},
         "corvane-request: connection refused by 127.0.0.1 port " + closedPort +
             ": no key server listens there (is the service running? see 'Oxlade status')\n"},
        {{"check", "no-such-host.invalid", Port()},
         "corvane-request: cannot find the host 'no-such-host.invalid': give an IP address or a name the resolver "
         "knows\n"},
        {{"check", "127.0.0.1", silentPort},
         "corvane-request: time-out: 127.0.0.1 port " + silentPort + " did not finish the request within 10 s\n"},
    };
    for (const auto& entry : cases) {
        const ToolResult result = Run(entry.args, "");
        EXPECT_EQ(result.exitCode, 1) << testing::PrintToString(entry.args);
        EXPECT_EQ(result.err, entry.err) << testing::PrintToString(entry.args);
    }
}

// A server that sends a byte every 300 ms never lets one wait run out: each request still
// ends at its deadline (--timeout 1), reported as a time-out.
TEST_F(RequestToolEndToEndTest, EveryRequestKeepsItsDeadlineAgainstATricklingServer)
{
    const RawSocket listener = RawSocket::Listen(AF_INET, "127.0.0.1", 0, 4);
    const std::string port = std::to_string(listener.Port());
    std::atomic<bool> stop{false};
    // Trickles to each connection in turn for at most 8 s: a client without a deadline
    // fails the test rather than hanging it.
    std::thread trickler([&] {
        for (int served = 0; served < 4 && !stop; ++served) {
            const int connection = accept(listener.Fd(), nullptr, nullptr);
            for (int i = 0; i < 26 && !stop && send(connection, "", 1, MSG_NOSIGNAL) == 1; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            }
            close(connection);
        }
    });
    const std::vector<std::vector<std::string>> requests = {
        {"check", "127.0.0.1", port},
        {"get-key", "127.0.0.1", port, kId},
        {"fetch-keys", "127.0.0.1", port, kPassword, kId},
        {"store-keys", "127.0.0.1", port, kPassword, kId + "=" + std::string(64, '0')},
    };
    for (std::vector<std::string> args : requests) {
        args.insert(args.begin() + 1, {"--timeout", "1"});
        const ToolResult result = Run(args, "");
        EXPECT_EQ(result.exitCode, 1) << args[0];
        EXPECT_EQ(result.err,
                  "corvane-request: time-out: 127.0.0.1 port " + port + " did not finish the request within 1 s\n")
            << args[0];
    }
    stop = true;
    shutdown(listener.Fd(), SHUT_RDWR);
    trickler.join();
}

TEST_F(RequestToolEndToEndTest, UsageErrorsExitWithTwoAndInformationWithZero)
{
    const ToolResult usage = Run({"get-key", "127.0.0.1"});
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_EQ(usage.err.rfind("corvane-request: get-key needs more arguments\nusage:", 0), 0u) << usage.err;
    EXPECT_EQ(usage.out, "");
    EXPECT_EQ(Run({"check", "127.0.0.1", "0"}).exitCode, 2);

    const ToolResult help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: corvane-request check HOST PORT\n", 0), 0u) << help.out;
    const ToolResult version = Run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("corvane-request (Corvane Key Server) ", 0), 0u) << version.out;
}

} // namespace
