// The service's life against the real process: status reports on a notification socket
// the test owns (and the reporter's messages there in process), pause and continue, stop
// by signal, the first start, the unit file.
#include "Fixture.h"
#include "service/linux/CSystemdStatusReporter.h"

#include <cstdlib>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <sys/wait.h>
#include <vector>

using namespace Wire;

namespace {

const std::string kId = "00A0B0C0D0E0";
const std::string kMask = "pause-test-mask";

void ExpectCleanExit(Harness::CTernwickProcess& service, int timeOutMs)
{
    const auto status = service.WaitExit(timeOutMs);
    ASSERT_TRUE(status) << "still running after " << timeOutMs << " ms\n" << service.Log();
    EXPECT_TRUE(WIFEXITED(*status)) << "status " << *status;
    EXPECT_EQ(WEXITSTATUS(*status), 0);
}

} // namespace

TEST(SystemdStatusReporter, SendsReadyOnceAndStoppingWithStopPending)
{
    Harness::CNotifyListener listener;
    ASSERT_EQ(setenv("NOTIFY_SOCKET", listener.Address().c_str(), 1), 0);
    CSystemdStatusReporter reporter;
    for (const uint32_t state : {kServiceStartPending, kServiceRunning, kServicePausePending, kServicePaused,
                                 kServiceContinuePending, kServiceRunning, kServiceStopPending, kServiceStopped}) {
        EXPECT_TRUE(reporter.Report(MakeStatus(state, 0)));
    }
    ASSERT_TRUE(listener.WaitForLine("STATUS=Stopped", 5000));
    unsetenv("NOTIFY_SOCKET");
    const std::vector<std::string> expected = {"STATUS=Start pending",
                                               "READY=1\nSTATUS=Running",
                                               "STATUS=Pause pending",
                                               "STATUS=Paused",
                                               "STATUS=Continue pending",
                                               "STATUS=Running",
                                               "STOPPING=1\nSTATUS=Stop pending",
                                               "STATUS=Stopped"};
    EXPECT_EQ(listener.Messages(), expected);
}

TEST_F(TernwickTest, ReportsEveryStateToTheNotificationSocket)
{
    m_service = std::make_unique<Harness::CTernwickProcess>(m_dir.Path(), m_notify.Address());
    // Ready means a unit can connect: the listener is open before it is reported.
    ASSERT_TRUE(m_notify.WaitForLine("READY=1", 20000)) << m_service->Log();
    EXPECT_TRUE(Harness::CanConnect(m_port)) << "running was reported before the listener opened";
    m_service->Signal(SIGUSR1);
    ASSERT_TRUE(m_notify.WaitForLine("STATUS=Paused", 10000));
    // Pause while paused reports nothing; interrogate reports the current state.
    m_service->Signal(SIGUSR1);
    m_service->Signal(SIGHUP);
    ASSERT_TRUE(m_notify.WaitForLine("STATUS=Paused", 10000));
    // Asked by hand, the service also writes its state to the log.
    EXPECT_TRUE(m_service->WaitForLog("state: Paused, listening on port " + std::to_string(m_port) + ", ", 1, 10000))
        << m_service->Log();
    m_service->Signal(SIGUSR2);
    ASSERT_TRUE(m_notify.WaitForLine("STATUS=Running", 10000));
    // Continue while running reports nothing.
    m_service->Signal(SIGUSR2);
    m_service->Signal(SIGHUP);
    ASSERT_TRUE(m_notify.WaitForLine("STATUS=Running", 10000));
    m_service->Signal(SIGTERM);
    ExpectCleanExit(*m_service, 10000);
    ASSERT_TRUE(m_notify.WaitForLine("STATUS=Stopped", 1000));

    const std::vector<std::string> expected = {"Start pending", "Running",          "Pause pending", "Paused",
                                               "Paused",        "Continue pending", "Running",       "Running",
                                               "Stop pending",  "Stopped"};
    EXPECT_EQ(m_notify.Statuses(), expected);

    size_t ready = 0;
    size_t stopping = 0;
    for (const auto& message : m_notify.Messages()) {
        if (message.find("READY=1") != std::string::npos) {
            ++ready;
            EXPECT_NE(message.find("STATUS=Running"), std::string::npos) << message;
        }
        if (message.find("STOPPING=1") != std::string::npos) {
            ++stopping;
            EXPECT_NE(message.find("STATUS=Stop pending"), std::string::npos) << message;
        }
    }
    EXPECT_EQ(ready, 1u);
    EXPECT_EQ(stopping, 1u);
}

TEST_F(TernwickTest, PauseHoldsNewConnectionsWhileARunningOneFinishes)
{
    Register(kId, Key(4));
    Start();
    Harness::CPeer running;
    ASSERT_TRUE(running.Connect("127.0.0.1", m_port));
    running.Send(Request(16));
    ASSERT_EQ(Hex(running.Read(8, 10000)), Hex(Ack()));

    m_service->Signal(SIGUSR1);
    ASSERT_TRUE(m_notify.WaitForLine("STATUS=Paused", 10000));
    Harness::CPeer held;
    ASSERT_TRUE(held.Connect("127.0.0.1", m_port)) << "the listener must stay open while paused";
    held.Send(Request(1) + Ack());
    Harness::CPeer queued;
    ASSERT_TRUE(queued.Connect("127.0.0.1", m_port));
    queued.Send(Request(1) + Ack());
    EXPECT_TRUE(held.StaysQuiet(1500)) << "a new connection was served while paused";

    running.Send(Data(kId) + Data(kMask) + Ack() + Ack());
    const std::string rest = Ack() + Ack() + Data(Seal(Key(4), kId, kMask)) + Status(0, 0);
    EXPECT_EQ(Hex(running.Read(rest.size(), 10000)), Hex(rest));
    EXPECT_TRUE(held.StaysQuiet(200));

    m_service->Signal(SIGUSR2);
    ASSERT_TRUE(m_notify.WaitForLine("STATUS=Running", 10000));
    EXPECT_EQ(Hex(held.Read(40, 10000)), Hex(Ack() + Status(0, 0)));
    EXPECT_EQ(Hex(queued.Read(40, 10000)), Hex(Ack() + Status(0, 0)));
}

TEST_F(TernwickTest, StopEndsTheProcessPromptlyWithExitCodeZero)
{
    Start();
    // A connection thread blocked in a read must not hold the process.
    Harness::CPeer silent;
    ASSERT_TRUE(silent.Connect("127.0.0.1", m_port));
    m_service->Signal(SIGTERM);
    ExpectCleanExit(*m_service, 10000);
    EXPECT_TRUE(m_notify.WaitForLine("STOPPING=1", 1000));
    EXPECT_TRUE(m_notify.WaitForLine("STATUS=Stopped", 1000));
}

TEST_F(TernwickTest, StopWhilePausedEndsTheProcessPromptly)
{
    Start();
    m_service->Signal(SIGUSR1);
    ASSERT_TRUE(m_notify.WaitForLine("STATUS=Paused", 10000));
    Harness::CPeer held;
    ASSERT_TRUE(held.Connect("127.0.0.1", m_port));
    held.Send(Request(1) + Ack());
    EXPECT_TRUE(held.StaysQuiet(300));
    m_service->Signal(SIGINT);
    ExpectCleanExit(*m_service, 10000);
}

// Without a store, and with a store whose PortNo is 0, the service takes the default port.
TEST(TernwickFirstStart, CreatesTheLayoutAndUsesTheDefaultPort)
{
    const struct
    {
        const char* name;
        std::vector<std::string> store; // made by the store tool first, unless empty
        const char* storedAfter;
    } cases[] = {
        {"no store", {}, "51056\n"},
        {"PortNo 0", {"port", "0"}, "0\n"},
    };
    for (const auto& test : cases) {
        Harness::CTempDir dir;
        if (!test.store.empty()) {
            ASSERT_EQ(Harness::StoreTool(dir.Path(), {"layout"}), 0);
            ASSERT_EQ(Harness::StoreTool(dir.Path(), test.store), 0);
        }
        Harness::CNotifyListener notify;
        Harness::CTernwickProcess service(dir.Path(), notify.Address());
        // The default port may be taken on a shared machine; either way it is the one tried.
        ASSERT_TRUE(service.WaitForLog("port 51056", 1, 20000)) << test.name << ": " << service.Log();
        service.Signal(SIGTERM);
        ExpectCleanExit(service, 10000);
        std::string out;
        EXPECT_EQ(Harness::StoreTool(dir.Path(), {"getport"}, &out), 0);
        EXPECT_EQ(out, test.storedAfter) << test.name;
    }
}

TEST(TernwickUnit, TemplateVerifiesCleanWithTheBuiltBinary)
{
    std::ifstream in(UNIT_TEMPLATE);
    ASSERT_TRUE(in) << UNIT_TEMPLATE;
    std::stringstream text;
    text << in.rdbuf();
    std::string unit = text.str();
    const std::string placeholder = "@TERNWICK_EXECUTABLE@";
    const auto at = unit.find(placeholder);
    ASSERT_NE(at, std::string::npos);
    unit.replace(at, placeholder.size(), TERNWICK_PATH);
    for (const char* line : {"Type=notify",
                             "Restart=on-failure",
                             "RestartSec=1s",
                             "StartLimitIntervalSec=0",
                             "StateDirectory=corvane-keyserver",
                             "StateDirectoryMode=0700",
                             "LimitNOFILE=8192",
                             "ProtectSystem=strict",
                             "ProtectHome=yes",
                             "PrivateTmp=yes",
                             "NoNewPrivileges=yes",
                             "RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX AF_NETLINK",
                             "CapabilityBoundingSet=CAP_NET_BIND_SERVICE",
                             "UMask=0077",
                             "PrivateDevices=yes",
                             "ProtectKernelTunables=yes",
                             "ProtectKernelModules=yes",
                             "ProtectKernelLogs=yes",
                             "MemoryDenyWriteExecute=yes",
                             "SystemCallFilter=@system-service",
                             "WantedBy=multi-user.target"}) {
        EXPECT_NE(unit.find(std::string("\n") + line + "\n"), std::string::npos) << line;
    }

    Harness::CTempDir dir;
    const std::string path = dir.Path() + "/Ternwick.service";
    std::ofstream(path) << unit;
    std::string output;
    EXPECT_EQ(Harness::RunProgram({"systemd-analyze", "verify", path}, {}, &output,
                                  Harness::SChildStream::EKind::SameAsOutput),
              0);
    EXPECT_EQ(output, "");
}
