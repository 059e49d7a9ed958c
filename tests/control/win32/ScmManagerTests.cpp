// The control program's service manager on the system's own service control manager
// (Wine's under CI): what install writes, the error numbers the steps show, and the
// controls on the real key service when it is built.
#include "control/CWindowsVersion.h"
#include "control/ServiceQueries.h"
#include "control/win32/CHiddenProcessRunner.h"
#include "control/win32/CScmServiceManager.h"
#include "control/win32/CSystemVersionQuery.h"
#include "platform/ServiceStatus.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

const std::string kTestService = "CorvaneScmManagerTest";

// The service's configuration as the manager keeps it.
struct SServiceConfig
{
    DWORD type = 0;
    DWORD startType = 0;
    std::string command;
    std::string description;
    std::vector<SC_ACTION> actions;
    DWORD resetPeriod = 0;
};

SServiceConfig ReadConfig(const std::string& name)
{
    SServiceConfig config;
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    const SC_HANDLE service = OpenServiceW(manager, Platform::Widen(name).c_str(), SERVICE_QUERY_CONFIG);
    DWORD size = 0;
    QueryServiceConfigW(service, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size + 1);
    if (QueryServiceConfigW(service, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()), size, &size)) {
        const auto* info = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        config.type = info->dwServiceType;
        config.startType = info->dwStartType;
        config.command = Platform::Narrow(info->lpBinaryPathName);
    }
    std::vector<unsigned char> more(8192);
    if (QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, more.data(), static_cast<DWORD>(more.size()),
                             &size)) {
        const auto* info = reinterpret_cast<SERVICE_DESCRIPTIONW*>(more.data());
        config.description = info->lpDescription != nullptr ? Platform::Narrow(info->lpDescription) : "";
    }
    if (QueryServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, more.data(), static_cast<DWORD>(more.size()),
                             &size)) {
        const auto* info = reinterpret_cast<SERVICE_FAILURE_ACTIONSW*>(more.data());
        config.resetPeriod = info->dwResetPeriod;
        config.actions.assign(info->lpsaActions, info->lpsaActions + info->cActions);
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return config;
}

TEST(ScmServiceManager, InstallsWhatTheControlProgramDefinesAndReportsErrorNumbers)
{
    CScmServiceManager manager(kTestService);
    ASSERT_TRUE(manager.Open());
    if (manager.OpenExisting() == 0) {
        manager.Delete(); // left by an earlier run that failed part-way
    }
    ASSERT_EQ(manager.Create("Corvane manager test", "C:\\Program Files\\Corvane\\Ternwick.exe"), 0u);
    EXPECT_TRUE(manager.ChangeDescription("Quillon Corvane Key Service Ver.1.20"));
    EXPECT_TRUE(manager.ChangeFailureActions(1000));

    const SServiceConfig config = ReadConfig(kTestService);
    EXPECT_EQ(config.type, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(config.startType, static_cast<DWORD>(SERVICE_AUTO_START));
    // Quoted, so that the blank does not end the program's name.
    EXPECT_EQ(config.command, "\"C:\\Program Files\\Corvane\\Ternwick.exe\"");
    EXPECT_EQ(config.description, "Quillon Corvane Key Service Ver.1.20");
    // Wine accepts failure actions but keeps none; Windows reports the one restart.
    if (!config.actions.empty()) {
        ASSERT_EQ(config.actions.size(), 1u);
        EXPECT_EQ(config.actions[0].Type, SC_ACTION_RESTART);
        EXPECT_EQ(config.actions[0].Delay, 1000u);
        EXPECT_EQ(config.resetPeriod, INFINITE);
    }

    uint32_t state = 0;
    ASSERT_TRUE(manager.QueryStatus(state));
    EXPECT_EQ(state, kServiceStopped);
    // Stopping a stopped service fails: the control step's "already stopped" test comes first.
    EXPECT_FALSE(manager.Control(CServiceManager::kControlStop));

    // What Halvard and corvane-admin show, with the rights to read the state alone.
    CScmServiceManager reader(kTestService, CScmServiceManager::EAccess::QueryOnly);
    EXPECT_FALSE(reader.MayChangeServices());
    EXPECT_EQ(QueryServiceState(reader), kServiceStopped);
    CScmServiceManager absent("CorvaneNoSuchService", CScmServiceManager::EAccess::QueryOnly);
    EXPECT_EQ(QueryServiceState(absent), 0u);

    CScmServiceManager second(kTestService);
    ASSERT_TRUE(second.Open());
    EXPECT_EQ(second.Create("Corvane manager test", "C:\\x.exe"), CServiceManager::kErrorServiceExists);
    EXPECT_EQ(second.OpenExisting(), 0u);
    EXPECT_TRUE(second.Delete());

    CScmServiceManager missing("CorvaneNoSuchService");
    ASSERT_TRUE(missing.Open());
    EXPECT_EQ(missing.OpenExisting(), CServiceManager::kErrorNoSuchService);
}

// A failed create is explained in Windows terms: no root, sudo or unit file.
TEST(ScmServiceManager, CreateFailuresAreExplainedInWindowsTerms)
{
    const CScmServiceManager manager(kTestService);
    for (const uint32_t error : {CServiceManager::kErrorFileNotFound, CServiceManager::kErrorAccessDenied,
                                 static_cast<uint32_t>(ERROR_SERVICE_MARKED_FOR_DELETE)}) {
        const std::string advice = manager.CreateAdvice(error, "C:\\Program Files\\Corvane Key Server\\Ternwick.exe");
        for (const char* word : {"sudo", "root", "unit file", "executable"}) {
            EXPECT_EQ(advice.find(word), std::string::npos) << error << ": " << advice;
        }
    }
    EXPECT_NE(manager.CreateAdvice(CServiceManager::kErrorAccessDenied, "").find("administrator"), std::string::npos);
}

TEST(HiddenProcessRunner, ExitCodesAndProgramsThatCannotStart)
{
    CHiddenProcessRunner runner;
    struct Case
    {
        std::string commandLine;
        int exitCode;
    };
    const Case cases[] = {
        {"cmd /c exit 0", 0},
        {"cmd /c exit 7", 7},
        {"corvane-no-such-program.exe /x", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(runner.Run({c.commandLine}), c.exitCode) << c.commandLine;
    }
    // Words are joined by blanks as they stand.
    EXPECT_EQ(runner.Run({"cmd", "/c", "exit", "3"}), 3);
}

TEST(SystemVersionQuery, BothStructureSizesReportTheSameNtVersion)
{
    CSystemVersionQuery query;
    OsVersion extended;
    OsVersion basic;
    ASSERT_TRUE(query.Query(CVersionQuery::kExtendedSize, extended));
    ASSERT_TRUE(query.Query(CVersionQuery::kBasicSize, basic));
    EXPECT_FALSE(query.Query(100, basic));
    EXPECT_EQ(extended.platformId, 2u);
    EXPECT_EQ(extended.major, basic.major);
    EXPECT_EQ(extended.minor, basic.minor);
    // Any NT system the programs run on has a class; the test program's manifest names the
    // systems it supports, as the control program's does.
    CWindowsVersion version(query);
    EXPECT_NE(version.WindowsVersionClass(), 0u);
}

} // namespace
