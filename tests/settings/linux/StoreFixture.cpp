#include "StoreTestSupport.h"
#include "settings/CRegistryKey.h"
#include "settings/CSettingsStore.h"
#include "settings/MachineText.h"

#include <cstdlib>
#include <filesystem>
#include <string_view>

extern char** environ;

void StoreTest::SetUp()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-store-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_root = pattern;
    m_stateDir = m_root + "/state";
    m_store = std::make_unique<CSqliteStore>(m_stateDir);
    SetSettingsStoreForTesting(m_store.get());
    SetMachineTextForTesting(std::string(kTestMachineText));
}

void StoreTest::TearDown()
{
    SetSettingsStoreForTesting(nullptr);
    m_store.reset();
    SetMachineTextForTesting(std::nullopt);
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
}

std::unique_ptr<Harness::CChildProcess> SpawnHelper(const std::string& stateDir, const std::vector<std::string>& args,
                                                    const Harness::SChildStream& report)
{
    std::error_code failed;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe", failed).string();
    if (failed) {
        return nullptr;
    }
    Harness::CChildProcess::SOptions options;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string_view(*e).substr(0, 18) != "CORVANE_STATE_DIR=") {
            options.environment.emplace_back(*e);
        }
    }
    options.environment.push_back("CORVANE_STATE_DIR=" + stateDir);
    options.output = report;
    std::vector<std::string> argv = {self, "--store-helper"};
    argv.insert(argv.end(), args.begin(), args.end());
    auto helper = std::make_unique<Harness::CChildProcess>();
    return helper->Start(argv, options) ? std::move(helper) : nullptr;
}

int WaitHelper(Harness::CChildProcess& helper, int timeoutSeconds)
{
    const auto status = helper.WaitExit(timeoutSeconds * 1000);
    if (!status) {
        helper.Kill();
        return -1;
    }
    return Harness::CChildProcess::ExitCode(*status);
}

int RunHelper(const std::string& stateDir, const std::vector<std::string>& args)
{
    const auto helper = SpawnHelper(stateDir, args);
    return helper ? WaitHelper(*helper) : -1;
}
