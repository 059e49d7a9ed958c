// What the other tests stand on: a child's arguments, environment, streams, exit and
// time-out as asked (on both systems), and ports outside the system's ephemeral range.
#include "CChildProcess.h"
#include "CPeer.h"
#include "Ports.h"
#include "net/CWinsockSession.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Harness::CChildProcess;
using Kind = Harness::SChildStream::EKind;

std::string g_self;

// The child's side, run as this program with --child and a command:
//   copy CODE    copies standard input to standard output, "err" to standard error, exits with CODE
//   args A...    prints its arguments, each between brackets
//   env NAME     prints the variable's value
//   hang         sleeps
int Child(const std::vector<std::string>& args)
{
    if (args[0] == "copy") {
        std::cout << std::cin.rdbuf() << std::flush;
        std::cerr << "err" << std::flush;
        return std::atoi(args[1].c_str());
    }
    if (args[0] == "args") {
        for (size_t i = 1; i < args.size(); ++i) {
            std::cout << "[" << args[i] << "]";
        }
        return 0;
    }
    if (args[0] == "env") {
        const char* value = std::getenv(args[1].c_str());
        std::cout << (value != nullptr ? value : "<unset>");
        return 0;
    }
    std::this_thread::sleep_for(std::chrono::minutes(5));
    return 0;
}

// A file of this run in the temporary folder.
std::string Scratch(const std::string& name, const std::string& text)
{
    static const std::string run = std::to_string(std::random_device()());
    const std::string path = (std::filesystem::temp_directory_path() / (name + "-" + run)).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string Contents(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(ChildProcess, StreamsGoWhereTheyAreSentAndTheExitCodeComesBack)
{
    const std::string in = Scratch("corvane-child-in", "from a file");
    const std::string out = Scratch("corvane-child-out", "old ");
    const struct
    {
        const char* name;
        Harness::SChildStream input, output, error;
        int code;
        std::string piped;
        std::string inFile;
    } cases[] = {
        {"pipes", {Kind::Pipe, ""}, {Kind::Pipe, ""}, {Kind::Null, ""}, 3, "sent", "old "},
        {"files, error as output",
         {Kind::File, in},
         {Kind::File, out},
         {Kind::SameAsOutput, ""},
         0,
         "",
         "from a fileerr"},
        {"appended", {Kind::Null, ""}, {Kind::AppendFile, out}, {Kind::AppendFile, out}, 77, "", "from a fileerrerr"},
    };
    for (const auto& c : cases) {
        CChildProcess child;
        ASSERT_TRUE(child.Start({g_self, "--child", "copy", std::to_string(c.code)}, {{}, c.input, c.output, c.error}))
            << c.name;
        if (c.input.kind == Kind::Pipe) {
            EXPECT_TRUE(child.Write(c.piped)) << c.name;
            child.CloseInput();
        }
        EXPECT_EQ(child.ReadAll(), c.piped) << c.name;
        const std::optional<int> status = child.WaitExit(60000);
        ASSERT_TRUE(status) << c.name;
        EXPECT_EQ(CChildProcess::ExitCode(*status), c.code) << c.name;
        EXPECT_EQ(Contents(out), c.inFile) << c.name;
    }
    std::filesystem::remove(in);
    std::filesystem::remove(out);
}

TEST(ChildProcess, ArgumentsAndEnvironmentArriveAsGiven)
{
    const std::vector<std::string> awkward = {"a b", "c\"d", "e\\", "f\\\"g", "", "h\\\\ i"};
    std::vector<std::string> argv = {g_self, "--child", "args"};
    argv.insert(argv.end(), awkward.begin(), awkward.end());
    CChildProcess child;
    ASSERT_TRUE(child.Start(argv, {{}, {Kind::Null, ""}, {Kind::Pipe, ""}, {}}));
    EXPECT_EQ(child.ReadAll(), "[a b][c\"d][e\\][f\\\"g][][h\\\\ i]");

    CChildProcess given;
    ASSERT_TRUE(given.Start({g_self, "--child", "env", "CORVANE_PROBE"},
                            {{"CORVANE_PROBE=given value"}, {Kind::Null, ""}, {Kind::Pipe, ""}, {}}));
    EXPECT_EQ(given.ReadAll(), "given value");
}

TEST(ChildProcess, AChildThatDoesNotEndIsKilledAndAMissingProgramIsNotStarted)
{
    CChildProcess child;
    ASSERT_TRUE(child.Start({g_self, "--child", "hang"}, {}));
    EXPECT_FALSE(child.WaitExit(200));
    EXPECT_TRUE(child.Running());
    child.Kill();
    EXPECT_TRUE(child.WaitExit(0));
    EXPECT_FALSE(child.Running());

    CChildProcess missing;
    EXPECT_FALSE(missing.Start({(std::filesystem::temp_directory_path() / "corvane-no-such-program").string()}, {}));
    EXPECT_FALSE(missing.Running());
}

TEST(Ports, TheSearchSkipsTheEphemeralRangeSpreadsItsStartsAndWrapsAround)
{
    const Harness::SPortRange linux{32768, 60999};
    const auto any = [](uint16_t) { return true; };
    const struct
    {
        Harness::SPortRange range;
        uint32_t seed;
        std::function<bool(uint16_t)> isFree;
        uint16_t port;
    } cases[] = {
        {linux, 0, any, 1024},
        {linux, 32767 - 1024, any, 32767},
        {linux, 32768 - 1024, any, 61000},
        {linux, 32768 - 1024 + 100, any, 61100},
        {linux, 32768 - 1024 + 4535, any, 65535},
        {linux, 32768 - 1024 + 4536, any, 1024},
        {linux, 0, [](uint16_t port) { return port > 2000; }, 2001},
        {{1024, 65535}, 0, any, 0},
        {linux, 5, [](uint16_t) { return false; }, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Harness::PortOutside(c.range, c.seed, c.isFree), c.port) << c.range.low << "-" << c.range.high;
    }
}

TEST(Ports, AFreePortLiesOutsideTheEphemeralRangeAndCanBeListenedOn)
{
    const Harness::SPortRange ephemeral = Harness::EphemeralPorts();
    for (int i = 0; i < 20; ++i) {
        const uint16_t port = Harness::FreePort();
        ASSERT_NE(port, 0);
        EXPECT_TRUE(port < ephemeral.low || port > ephemeral.high) << port;
        EXPECT_TRUE(RawSocket::Listen(AF_INET, "0.0.0.0", port, 1).Valid()) << port;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && std::string(argv[1]) == "--child") {
        return Child(std::vector<std::string>(argv + 2, argv + argc));
    }
    g_self = std::filesystem::absolute(argv[0]).string();
    const ZiRez::CWinsockSession sockets;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
