// The control program against a real systemd: the build installed into a neutral prefix,
// one sandbox booted for the whole program, the real Ternwick answering on its loopback.
#include "CSystemdSandbox.h"
#include "Harness.h"
#include "Wire.h"

#include <arpa/inet.h>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

const std::string kOxlade = "/opt/corvane/sbin/Oxlade";
const std::string kAdmin = "/opt/corvane/sbin/corvane-admin";
const std::string kRequest = "/opt/corvane/bin/corvane-request";
const std::string kProbe = "/opt/corvane/libexec/corvane-tests/control_probe";
const std::string kStoreTool = "/opt/corvane/libexec/corvane-tests/service_test_store";
const std::string kUnit = "/etc/systemd/system/Ternwick.service";
constexpr uint16_t kPort = 51056;

CSystemdSandbox* g_sandbox = nullptr;
std::string g_skip;

using Result = CSystemdSandbox::Result;

std::string Describe(const Result& result)
{
    return "exit " + std::to_string(result.status) + ", out [" + result.out + "], err [" + result.err + "]";
}

void ExpectRun(const Result& result, int status, const std::string& out, const std::string& err)
{
    EXPECT_EQ(Describe(result), Describe(Result{status, out, err}));
}

// The copy of the keys an uninstall reports keeping, checked to be there; empty when the
// uninstall did not report one.
std::string KeptCopy(const Result& uninstall, size_t registrations)
{
    const std::string start = "The keys of " + std::to_string(registrations) +
                              (registrations == 1 ? " registration" : " registrations") + " were kept in ";
    EXPECT_EQ(uninstall.status, 0) << Describe(uninstall);
    EXPECT_EQ(uninstall.out.rfind(start + "/var/lib/corvane-keyserver/settings-", 0), 0u) << uninstall.out;
    if (uninstall.out.rfind(start, 0) != 0) {
        return {};
    }
    const std::string path = uninstall.out.substr(start.size(), uninstall.out.find(" (") - start.size());
    EXPECT_EQ(g_sandbox->Exec({"test", "-f", path}).status, 0) << path;
    return path;
}

Result Oxlade(const std::string& command)
{
    return g_sandbox->Exec({kOxlade, command});
}

std::string Inside(const std::vector<std::string>& command)
{
    return g_sandbox->Exec(command).out;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Installs what "cmake --install" installs, plus the test's own tools, into the stage
// that the sandbox copies to /opt/corvane.
std::string Stage()
{
    std::error_code ignored;
    std::filesystem::remove_all(STAGE_DIR, ignored);
    const std::string install = std::string("'") + CMAKE_COMMAND + "' --install '" + BUILD_DIR + "' --prefix '" +
                                STAGE_DIR + "' --component keyservice >/dev/null";
    if (std::system(install.c_str()) != 0) {
        return "cmake --install failed: " + install;
    }
    const std::filesystem::path tools = std::filesystem::path(STAGE_DIR) / "libexec/corvane-tests";
    std::filesystem::create_directories(tools);
    for (const char* tool : {PROBE_PATH, STORE_TOOL_PATH}) {
        std::filesystem::copy_file(tool, tools / std::filesystem::path(tool).filename());
    }
    return {};
}

class SystemdControl : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!g_skip.empty()) {
            GTEST_SKIP() << g_skip;
        }
    }

    // A test that failed half way leaves no service behind for the next one.
    void TearDown() override
    {
        if (g_sandbox != nullptr && g_sandbox->Exec({"test", "-e", kUnit}).status == 0) {
            ADD_FAILURE() << "the service was left installed";
            g_sandbox->Exec({kOxlade, "uninstall"});
        }
    }
};

TEST_F(SystemdControl, InstallRunsTheServiceAndUninstallLeavesNothing)
{
    ExpectRun(Oxlade("install"), 0, "", "");
    const std::string unit = Inside({"cat", kUnit});
    for (const char* line : {"Description=Quillon Corvane Key Service Ver.1.20",
                             "ExecStart=\"/opt/corvane/sbin/Ternwick\"", "Restart=on-failure", "RestartSec=1000ms"}) {
        EXPECT_TRUE(Contains(unit, std::string("\n") + line + "\n")) << line << " in\n" << unit;
    }
    EXPECT_EQ(Inside({"systemctl", "is-enabled", "Ternwick"}), "enabled\n");
    // The sandbox keeps its exposure at 2.5 or below (the threshold counts tenths).
    const Result security = g_sandbox->Exec({"systemd-analyze", "security", "--threshold=25", "Ternwick"});
    EXPECT_EQ(security.status, 0) << security.out << security.err;
    EXPECT_TRUE(Harness::WaitForListener(kPort, 5000));
    ExpectRun(Oxlade("status"), 0, "The service is running.\n", "");
    EXPECT_EQ(Inside({kProbe, "state"}), "4\n");
    ExpectRun(Oxlade("INSTALL"), 1, "", "Error Info: Can't Install Service!! - 1073\n");
    ASSERT_EQ(g_sandbox->Exec({kStoreTool, "key", "00A0B0C0D0E0", Wire::Hex(Wire::Key(7))}).status, 0);
    EXPECT_EQ(Inside({kProbe, "branch"}), "present\n");

    const std::string kept = KeptCopy(Oxlade("uninstall"), 1);
    EXPECT_EQ(g_sandbox->Exec({"test", "-e", kUnit}).status, 1);
    EXPECT_EQ(Inside({"systemctl", "show", "-p", "LoadState", "Ternwick"}), "LoadState=not-found\n");
    EXPECT_EQ(Inside({"systemctl", "show", "-p", "ActiveState", "Ternwick"}), "ActiveState=inactive\n");
    EXPECT_EQ(Inside({kProbe, "branch"}), "absent\n");
    EXPECT_FALSE(Harness::CanConnect(kPort));
    ExpectRun(Oxlade("status"), 1, "The service is not installed: 'Oxlade install' installs and starts it.\n", "");
    EXPECT_EQ(Inside({kProbe, "state"}), "0\n");
    ExpectRun(Oxlade("uninstall"), 0, "The service is not installed: nothing to uninstall.\n", "");

    // Restored as uninstall says, the unit gets its key again.
    EXPECT_EQ(Inside({"stat", "-c", "%a %U", kept}), "600 root\n");
    ExpectRun(Oxlade("install"), 0, "", "");
    ExpectRun(Oxlade("stop"), 0, "", "");
    ASSERT_EQ(g_sandbox->Exec({"cp", kept, "/var/lib/corvane-keyserver/settings.db"}).status, 0);
    ExpectRun(Oxlade("start"), 0, "", "");
    EXPECT_TRUE(Contains(Inside({kRequest, "get-key", "127.0.0.1", "51056", "00A0B0C0D0E0"}),
                         "\nkey    " + Wire::Hex(Wire::Key(7)) + "\n"));
    const std::string second = KeptCopy(Oxlade("uninstall"), 1);
    EXPECT_NE(second, kept);
    g_sandbox->Exec({"rm", "-f", kept, second});
}

TEST_F(SystemdControl, SuspendKeepsPeersWaitingAndStopStartFollow)
{
    ExpectRun(Oxlade("install"), 0, "", "");
    ASSERT_TRUE(Harness::WaitForListener(kPort, 5000));
    ExpectRun(Oxlade("suspend"), 0, "", "");
    ExpectRun(Oxlade("status"), 0, "The service is paused.\n", "");
    ExpectRun(Oxlade("Suspend"), 0, "", "");
    Harness::CPeer waiting;
    ASSERT_TRUE(waiting.Connect("127.0.0.1", kPort));
    waiting.Send(Wire::Request(1) + Wire::Ack());
    EXPECT_TRUE(waiting.StaysQuiet(1000));

    ExpectRun(Oxlade("resume"), 0, "", "");
    const std::string answer = Wire::Ack() + Wire::Status(0, 0);
    EXPECT_EQ(waiting.Read(answer.size(), 5000), answer);
    ExpectRun(Oxlade("status"), 0, "The service is running.\n", "");

    ExpectRun(Oxlade("stop"), 0, "", "");
    ExpectRun(Oxlade("status"), 0, "The service is not running.\n", "");
    EXPECT_FALSE(Harness::CanConnect(kPort));
    ExpectRun(Oxlade("stop"), 0, "", "");
    ExpectRun(Oxlade("resume"), 1, "", "Error Info: Can't resume Service!!\n");
    ExpectRun(Oxlade("start"), 0, "", "");
    EXPECT_TRUE(Harness::WaitForListener(kPort, 1000));
    ExpectRun(Oxlade("start"), 0, "", "");
    ExpectRun(Oxlade("uninstall"), 0, "", "");
}

// The service's lines in the journal with the id of their kind and a request's fields, and
// health telling a pause from the service manager's word.
TEST_F(SystemdControl, TheJournalKeepsEachLinesFieldsAndHealthSeesAPause)
{
    ExpectRun(Oxlade("install"), 0, "", "");
    ASSERT_TRUE(Harness::WaitForListener(kPort, 5000));
    EXPECT_EQ(g_sandbox->Exec({kRequest, "get-key", "127.0.0.1", "51056", "00A0B0C0D0EF"}).status, 1);
    // Entries reach the journal a moment after the line is queued.
    const auto journal = [](const std::vector<std::string>& match) {
        std::vector<std::string> command{"journalctl", "-u", "Ternwick", "-o", "export"};
        command.insert(command.end(), match.begin(), match.end());
        std::string entries;
        for (int wait = 0; wait < 50 && entries.empty(); ++wait) {
            entries = Inside(command);
            if (entries.empty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
        return entries;
    };
    const std::string miss = journal({"CORVANE_STATUS=2"});
    for (const char* field : {"\nMESSAGE_ID=fec09664ce6f4d458a775ad8237ba18c\n", "\nCORVANE_REQUEST=16\n",
                              "\nCORVANE_ID=00A0B0C0D0EF\n", "\nCORVANE_PEER=127.0.0.1\n",
                              "\nMESSAGE=request from 127.0.0.1: code 16, id \"00A0B0C0D0EF\", status (2, 1)"}) {
        EXPECT_TRUE(Contains(miss, field)) << field << " in\n" << miss;
    }
    EXPECT_FALSE(Contains(miss, "\nCODE_FILE=")) << miss;
    const std::string started = journal({"MESSAGE_ID=b59bf2573d804bfe83fc4b57f82adddb"});
    EXPECT_TRUE(Contains(started, "\nMESSAGE=Ternwick starting\n")) << started;
    EXPECT_TRUE(Contains(started, "\nMESSAGE=listening on port 51056\n")) << started;

    const std::vector<std::string> health{kAdmin, "health", "--timeout", "0.5"};
    ExpectRun(g_sandbox->Exec(health), 0, "healthy: the key service answers on port 51056\n", "");
    ExpectRun(Oxlade("suspend"), 0, "", "");
    ExpectRun(g_sandbox->Exec(health), 5, "",
              "corvane-admin: paused: the key service is paused: port 51056 is open but serves no one\n");
    ExpectRun(Oxlade("resume"), 0, "", "");
    ExpectRun(g_sandbox->Exec(health), 0, "healthy: the key service answers on port 51056\n", "");
    ExpectRun(Oxlade("stop"), 0, "", "");
    ExpectRun(g_sandbox->Exec(health), 3, "",
              "corvane-admin: not-running: nothing listens on port 51056 of this computer\n");
    const std::string stopped = journal({"MESSAGE_ID=e12268a99ce64d3e9242a0336944c516"});
    EXPECT_TRUE(Contains(stopped, "\nMESSAGE=Ternwick stopped\n")) << stopped;
    ExpectRun(Oxlade("uninstall"), 0, "", "");
}

TEST_F(SystemdControl, InstallWithThePortHeldReportsTheFailedStart)
{
    const int holder = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // The earlier tests' connections may still linger in TIME_WAIT on the port.
    const int one = 1;
    setsockopt(holder, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kPort);
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(holder, 4), 0);

    ExpectRun(Oxlade("install"), 1, "", "Error Info: Can't Start Service!! - 1067\n");
    EXPECT_EQ(Inside({"systemctl", "is-enabled", "Ternwick"}), "enabled\n");
    // The sandbox keeps its exposure at 2.5 or below (the threshold counts tenths).
    const Result security = g_sandbox->Exec({"systemd-analyze", "security", "--threshold=25", "Ternwick"});
    EXPECT_EQ(security.status, 0) << security.out << security.err;
    ExpectRun(Oxlade("start"), 1, "", "Error Info: Can't Start Service!! - 1067\n");
    close(holder);

    ExpectRun(Oxlade("uninstall"), 0, "", "");
    // Past the restart delay: nothing came back.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(Inside({"systemctl", "show", "-p", "ActiveState", "Ternwick"}), "ActiveState=inactive\n");
    EXPECT_EQ(g_sandbox->Exec({"pgrep", "-x", "Ternwick"}).status, 1);
}

TEST_F(SystemdControl, FirewalldOpeningFollowsThePortAndGoes)
{
    if (g_sandbox->Exec({"test", "-x", "/usr/bin/firewall-cmd"}).status != 0) {
        GTEST_SKIP() << "firewalld is not installed (scripts/setup.sh installs it)";
    }
    ASSERT_EQ(g_sandbox->Exec({"systemctl", "start", "dbus.socket", "firewalld.service"}).status, 0);
    ExpectRun(Oxlade("install"), 0, "", "");
    EXPECT_TRUE(Contains(Inside({"firewall-cmd", "--list-services"}), "Ternwick"));
    EXPECT_TRUE(Contains(Inside({"firewall-cmd", "--permanent", "--info-service=Ternwick"}), "ports: 51056/tcp\n"));

    EXPECT_EQ(g_sandbox->Exec({kProbe, "follow-port", "51057"}).err, "");
    EXPECT_TRUE(Contains(Inside({"firewall-cmd", "--info-service=Ternwick"}), "ports: 51057/tcp\n"));

    ExpectRun(Oxlade("uninstall"), 0, "", "");
    EXPECT_FALSE(Contains(Inside({"firewall-cmd", "--list-services"}), "Ternwick"));
    EXPECT_FALSE(Contains(Inside({"firewall-cmd", "--permanent", "--list-services"}), "Ternwick"));
    EXPECT_NE(g_sandbox->Exec({"firewall-cmd", "--info-service=Ternwick"}).status, 0);
    g_sandbox->Exec({"systemctl", "stop", "firewalld.service"});
}

TEST_F(SystemdControl, UfwOpeningFollowsThePortAndGoes)
{
    if (g_sandbox->Exec({"test", "-x", "/usr/sbin/ufw"}).status != 0) {
        GTEST_SKIP() << "ufw is not installed (scripts/setup.sh installs it)";
    }
    ASSERT_EQ(g_sandbox->Exec({"ufw", "--force", "enable"}).status, 0);
    ExpectRun(Oxlade("install"), 0, "", "");
    EXPECT_TRUE(Contains(Inside({"ufw", "status"}), "Ternwick"));
    EXPECT_TRUE(Contains(Inside({"ufw", "app", "info", "Ternwick"}), "51056/tcp"));

    EXPECT_EQ(g_sandbox->Exec({kProbe, "follow-port", "51057"}).err, "");
    EXPECT_TRUE(Contains(Inside({"ufw", "status", "verbose"}), "51057/tcp (Ternwick)"));

    ExpectRun(Oxlade("uninstall"), 0, "", "");
    EXPECT_FALSE(Contains(Inside({"ufw", "status"}), "Ternwick"));
    EXPECT_EQ(g_sandbox->Exec({"test", "-e", "/etc/ufw/applications.d/Ternwick"}).status, 1);
    g_sandbox->Exec({"ufw", "disable"});
}

// Every test reports itself skipped, with the reason, so that the run says so.
int RunSkipped(const std::string& reason)
{
    g_skip = reason;
    std::cerr << "SKIPPED: " << reason << "\n";
    return RUN_ALL_TESTS();
}

} // namespace

int main(int argc, char** argv)
{
    signal(SIGPIPE, SIG_IGN);
    ::testing::InitGoogleTest(&argc, argv);
    // Set in the sanitizer builds, with the reason.
    const std::string buildSkip = SYSTEMD_TESTS_SKIP;
    if (!buildSkip.empty()) {
        return RunSkipped(buildSkip);
    }
    if (geteuid() != 0) {
        return RunSkipped("no systemd sandbox on this machine: it needs root");
    }
    const std::string failure = Stage();
    if (!failure.empty()) {
        std::cerr << failure << "\n";
        return 1;
    }
    CSystemdSandbox sandbox(SANDBOX_SCRIPT, STAGE_DIR);
    if (!sandbox.SkipReason().empty()) {
        return RunSkipped("no systemd sandbox on this machine: " + sandbox.SkipReason());
    }
    if (!sandbox.Booted() || !sandbox.EnterNetwork()) {
        std::cerr << "the systemd sandbox did not boot:\n" << sandbox.BootLog();
        return 1;
    }
    g_sandbox = &sandbox;
    return RUN_ALL_TESTS();
}
