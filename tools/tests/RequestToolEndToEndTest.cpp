// Every command of corvane-request against the real Ternwick on a private store.
#include "BenchKeys.h"
#include "CTempStateDir.h"
#include "CTernwickProcess.h"
#include "RequestCommand.h"
#include "settings/CKeyRecord.h"
#include "settings/CKeyStore.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <sys/wait.h>
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

std::string Quote(const std::string& text)
{
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

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
        s_stateDir = std::make_unique<CTempStateDir>();
        // Before this process's first use of the store.
        setenv("CORVANE_STATE_DIR", s_stateDir->Path().c_str(), 1);
        CKeyStore store;
        ASSERT_EQ(store.CreateLayout(), 1);
        s_port = FindFreePort();
        ASSERT_EQ(store.WritePort(s_port), 1);
        ASSERT_EQ(store.WritePassword(kPassword), 1);
        for (const std::string& id : {kId, kOtherId}) {
            CKeyRecord record;
            record.SetId(id);
            record.SetKey(KeyOf(id).data());
            ASSERT_EQ(store.StoreKey(record), 1);
        }
        const std::string binary = FindTernwick("");
        ASSERT_FALSE(binary.empty());
        s_service = std::make_unique<CTernwickProcess>(binary, s_stateDir->Path(), s_stateDir->Path() + "/log");
        s_service->Start();
        ASSERT_TRUE(s_service->WaitAnswering(ServiceAddress::Loopback(s_port), 30000)) << s_service->LogTail(20);
    }

    static void TearDownTestSuite()
    {
        if (s_service) {
            s_service->Stop(10000);
        }
        s_service.reset();
        s_stateDir.reset();
    }

    static LockKey KeyOf(const std::string& id) { return BenchKey(id == kId ? 1 : 2); }

    static ToolResult Run(const std::vector<std::string>& args, const std::string& input = "")
    {
        const std::string errPath = s_stateDir->Path() + "/err";
        const std::string inPath = s_stateDir->Path() + "/in";
        std::ofstream(inPath) << input;
        std::string command = Quote(CORVANE_REQUEST_TOOL);
        for (const std::string& arg : args) {
            command += " " + Quote(arg);
        }
        command += " <" + Quote(inPath) + " 2>" + Quote(errPath);
        ToolResult result;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            return result;
        }
        char buffer[512];
        size_t count = 0;
        while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            result.out.append(buffer, count);
        }
        const int status = pclose(pipe);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.err = ReadFile(errPath);
        return result;
    }

    static std::string Port() { return std::to_string(s_port); }

    static std::unique_ptr<CTempStateDir> s_stateDir;
    static std::unique_ptr<CTernwickProcess> s_service;
    static uint16_t s_port;
};

std::unique_ptr<CTempStateDir> RequestToolEndToEndTest::s_stateDir;
std::unique_ptr<CTernwickProcess> RequestToolEndToEndTest::s_service;
uint16_t RequestToolEndToEndTest::s_port = 0;

std::string HexOf(const LockKey& key)
{
    return ToHex(std::string_view(reinterpret_cast<const char*>(key.data()), key.size()));
}

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
    EXPECT_EQ(result.out, "mask   " + kMaskHex + "\nsealed " + HexOf(SealForTransfer(KeyOf(kId), kId, mask)) +
                              "\nkey    " + HexOf(KeyOf(kId)) + "\n");
}

TEST_F(RequestToolEndToEndTest, GetKeyWithoutAMaskUsesARandomOneAndStillOpensTheKey)
{
    const ToolResult first = Run({"get-key", "127.0.0.1", Port(), kId});
    const ToolResult second = Run({"get-key", "127.0.0.1", Port(), kId});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_NE(first.out.substr(0, 72), second.out.substr(0, 72)); // mask and sealed key differ
    EXPECT_NE(first.out.find("key    " + HexOf(KeyOf(kId)) + "\n"), std::string::npos) << first.out;
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
         "corvane-request: Request execution error!! (code 10)\n"},
        {{"fetch-keys", "127.0.0.1", Port(), "coop-pasS", kId}, "", "corvane-request: refused: Invalid password!\n"},
        {{"fetch-keys", "127.0.0.1", Port(), kPassword, kId, "FFFFFFFFFFFF"},
         "",
         "corvane-request: Request execution error!! (code 10)\n"},
        {{"store-keys", "127.0.0.1", Port(), "-", "B=" + key},
         "wrong\n",
         "corvane-request: refused: Invalid password!\n"},
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
                              HexOf(SealForTransfer(KeyOf(kOtherId), kOtherId, mask)) + " key " +
                              HexOf(KeyOf(kOtherId)) + "\n" + kId + " sealed " +
                              HexOf(SealForTransfer(KeyOf(kId), kId, mask)) + " key " + HexOf(KeyOf(kId)) + "\n");
}

TEST_F(RequestToolEndToEndTest, StoredKeysAreServedUnderTheUpperCaseIdentifier)
{
    const LockKey key = BenchKey(99);
    const ToolResult stored =
        Run({"store-keys", "127.0.0.1", Port(), kPassword, "00a0b0c0ffee=" + HexOf(key), "--mask", "5a5a"});
    ASSERT_EQ(stored.exitCode, 0) << stored.err;
    EXPECT_EQ(stored.out, "stored 1 key\n");
    const ToolResult got = Run({"get-key", "127.0.0.1", Port(), "00A0B0C0FFEE", "01"});
    ASSERT_EQ(got.exitCode, 0) << got.err;
    EXPECT_NE(got.out.find("key    " + HexOf(key) + "\n"), std::string::npos) << got.out;
}

TEST_F(RequestToolEndToEndTest, UnreachableServerAndBadArgumentsExitWithOne)
{
    const ToolResult closed = Run({"check", "127.0.0.1", std::to_string(FindFreePort())});
    EXPECT_EQ(closed.exitCode, 1);
    EXPECT_EQ(closed.err.rfind("corvane-request: cannot reach 127.0.0.1 port ", 0), 0u) << closed.err;
    EXPECT_EQ(closed.err.find('\n'), closed.err.size() - 1) << closed.err;

    const ToolResult usage = Run({"get-key", "127.0.0.1"});
    EXPECT_EQ(usage.exitCode, 1);
    EXPECT_EQ(usage.err.rfind("corvane-request: get-key needs more arguments\nusage:", 0), 0u) << usage.err;
    EXPECT_EQ(usage.out, "");
}

} // namespace
