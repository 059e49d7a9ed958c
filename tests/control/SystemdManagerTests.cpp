// The systemd service manager against a recording systemctl and a temporary unit
// directory: the unit it writes, the command lines, the error numbers and the states.
#include "Harness.h"
#include "StandIn.h"
#include "control/linux/CSpawnProcessRunner.h"
#include "control/linux/CSystemdServiceManager.h"
#include "control/linux/CUnitFile.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using Calls = std::vector<std::string>;

struct Machine
{
    Harness::CTempDir dir;
    CStandIn systemctl;
    ControlPaths paths;
    CSpawnProcessRunner runner;
    CSystemdServiceManager manager;

    explicit Machine(const std::vector<CStandIn::Rule>& rules)
        : systemctl(dir.Path(), "systemctl", rules), paths(Paths(dir.Path(), systemctl.Path())), manager(paths, runner)
    {}

    static ControlPaths Paths(const std::string& root, const std::string& systemctl)
    {
        ControlPaths paths;
        paths.systemdRuntime = root;
        paths.unitDirectory = root + "/units";
        paths.systemctl = systemctl;
        std::filesystem::create_directory(paths.unitDirectory);
        return paths;
    }

    std::string Unit() const
    {
        std::ifstream in(paths.unitDirectory + "/Ternwick.service");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST(SystemdManager, InstallWritesAVerifiableUnitAndEnablesIt)
{
    Machine machine({});
    ASSERT_TRUE(machine.manager.Open());
    // A directory with a blank and a percent sign: quoted and escaped for systemd.
    const std::string directory = machine.dir.Path() + "/my %n dir";
    std::filesystem::create_directory(directory);
    std::filesystem::copy_file("/bin/true", directory + "/Ternwick");
    EXPECT_EQ(machine.manager.Create("Quillon Corvane Key Service", directory + "/Ternwick"), 0u);
    EXPECT_TRUE(machine.manager.ChangeDescription("Quillon Corvane Key Service Ver.1.20"));
    EXPECT_TRUE(machine.manager.ChangeFailureActions(1000));
    EXPECT_EQ(machine.manager.OpenExisting(), 0u);
    // enable loads the new unit itself; both edits are loaded by one reload before the start.
    EXPECT_EQ(machine.manager.Start(), 0u);
    EXPECT_EQ(machine.systemctl.Calls(),
              (Calls{"--no-ask-password enable Ternwick.service", "--no-ask-password daemon-reload",
                     "--no-ask-password start Ternwick.service"}));

    const std::string unit = machine.Unit();
    EXPECT_EQ(unit.rfind("[Unit]\nDescription=Quillon Corvane Key Service Ver.1.20\n", 0), 0u) << unit;
    EXPECT_NE(unit.find("\nExecStart=\"" + machine.dir.Path() + "/my %%n dir/Ternwick\"\n"), std::string::npos);
    EXPECT_NE(unit.find("\nRestart=on-failure\nRestartSec=1000ms\n"), std::string::npos) << unit;
    std::string verified;
    EXPECT_EQ(Harness::RunProgram({"systemd-analyze", "verify", machine.paths.unitDirectory + "/Ternwick.service"}, {},
                                  &verified, Harness::SChildStream::EKind::SameAsOutput),
              0);
    EXPECT_EQ(verified, "");

    EXPECT_EQ(machine.manager.Create("Quillon Corvane Key Service", directory + "/Ternwick"),
              CServiceManager::kErrorServiceExists);
}

TEST(SystemdManager, RefusedInstallsLeaveNoUnit)
{
    Machine refused({{"*enable*", "Failed to enable unit\\n", 1}});
    std::filesystem::copy_file("/bin/true", refused.dir.Path() + "/Ternwick");
    EXPECT_EQ(refused.manager.Create("Quillon Corvane Key Service", refused.dir.Path() + "/Ternwick"), 1u);
    EXPECT_EQ(refused.manager.OpenExisting(), CServiceManager::kErrorNoSuchService);
    EXPECT_EQ(refused.systemctl.Calls().back(), "--no-ask-password daemon-reload");

    Machine unsafe({});
    EXPECT_EQ(unsafe.manager.Create("Quillon Corvane Key Service", "/opt/x\nExecStartPre=/bin/evil/Ternwick"),
              CSystemdServiceManager::kErrorInvalidParameter);
    EXPECT_EQ(unsafe.manager.OpenExisting(), CServiceManager::kErrorNoSuchService);

    // A unit naming a missing program would fail every second for ever.
    Machine missing({});
    EXPECT_EQ(missing.manager.Create("Quillon Corvane Key Service", missing.dir.Path() + "/Ternwick"),
              CServiceManager::kErrorFileNotFound);
    EXPECT_EQ(missing.manager.OpenExisting(), CServiceManager::kErrorNoSuchService);
    EXPECT_TRUE(missing.systemctl.Calls().empty());

    Machine noSystemd({});
    noSystemd.paths.systemdRuntime = noSystemd.dir.Path() + "/missing";
    CSystemdServiceManager absent(noSystemd.paths, noSystemd.runner);
    EXPECT_FALSE(absent.Open());
    EXPECT_NE(absent.OpenAdvice().find("systemd is not the init system here (" + noSystemd.paths.systemdRuntime),
              std::string::npos);
}

TEST(SystemdManager, StartFailuresBecomeErrorNumbers)
{
    const std::pair<std::vector<CStandIn::Rule>, uint32_t> cases[] = {
        {{{"*start*", "", 1}, {"*Result*", "Result=protocol\\n", 0}}, 1067},
        {{{"*start*", "", 1}, {"*Result*", "Result=exit-code\\n", 0}}, 1067},
        {{{"*start*", "", 1}, {"*Result*", "Result=timeout\\n", 0}}, 1053},
        {{{"*start*", "", 4}, {"*Result*", "Result=success\\n", 0}}, 4},
        {{{"*start*", "", 0}}, 0},
    };
    for (const auto& [rules, error] : cases) {
        Machine machine(rules);
        EXPECT_EQ(machine.manager.Start(), error);
        EXPECT_EQ(machine.systemctl.Calls().front(), "--no-ask-password start Ternwick.service");
    }
}

TEST(SystemdManager, StatesFromTheServicesOwnStatusText)
{
    const std::pair<const char*, uint32_t> cases[] = {
        {"ActiveState=active\nSubState=running\nStatusText=Running\n", 4},
        {"ActiveState=active\nSubState=running\nStatusText=Paused\n", 7},
        {"ActiveState=active\nSubState=running\nStatusText=Pause pending\n", 6},
        {"ActiveState=active\nSubState=running\nStatusText=Continue pending\n", 5},
        {"ActiveState=deactivating\nSubState=stop-sigterm\nStatusText=Stop pending\n", 3},
        {"ActiveState=deactivating\nSubState=stop-sigterm\nStatusText=\n", 3},
        {"ActiveState=activating\nSubState=start\nStatusText=\n", 2},
        {"ActiveState=activating\nSubState=auto-restart\nStatusText=Running\n", 1},
        {"ActiveState=inactive\nSubState=dead\nStatusText=Running\n", 1},
        {"ActiveState=failed\nSubState=failed\nStatusText=\n", 1},
        {"SubState=running\n", 0},
    };
    for (const auto& [properties, state] : cases) {
        EXPECT_EQ(CSystemdServiceManager::StateFromProperties(properties), state) << properties;
    }
    Machine machine({{"*show*", "ActiveState=active\\nSubState=running\\nStatusText=Paused\\n", 0}});
    uint32_t state = 0;
    EXPECT_TRUE(machine.manager.QueryStatus(state));
    EXPECT_EQ(state, 7u);
    EXPECT_EQ(machine.systemctl.Calls(),
              Calls{"--no-ask-password show -p ActiveState,SubState,StatusText Ternwick.service"});
}

TEST(UnitFile, SettingsReplacedOrAddedWithinTheirSection)
{
    const std::string unit = "[Unit]\nDescription=old\n\n[Service]\nType=notify\nRestartSec=1s\n\n[Install]\n";
    CUnitFile file(unit);
    EXPECT_TRUE(file.SetValue("Service", "RestartSec", "1000ms"));
    EXPECT_TRUE(file.SetValue("Service", "Restart", "on-failure"));
    EXPECT_TRUE(file.SetValue("Install", "WantedBy", "multi-user.target"));
    EXPECT_FALSE(file.SetValue("Socket", "ListenStream", "1"));
    EXPECT_FALSE(file.SetValue("Unit", "Description", "two\nlines"));
    EXPECT_EQ(file.Text(),
              "[Unit]\nDescription=old\n\n[Service]\nType=notify\nRestartSec=1000ms\nRestart=on-failure\n\n"
              "[Install]\nWantedBy=multi-user.target\n");
}

} // namespace
