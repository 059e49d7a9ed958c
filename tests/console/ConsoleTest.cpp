#include "ConsoleTest.h"

#include "Wire.h"
#include "settings/CSettingsStore.h"
#include "settings/linux/CSqliteStore.h"

#include <filesystem>

ConsoleTest::ConsoleTest() : m_sqlite(std::make_unique<CSqliteStore>(m_dir.Path()))
{
    SetSettingsStoreForTesting(m_sqlite.get());
}

ConsoleTest::~ConsoleTest()
{
    SetSettingsStoreForTesting(nullptr);
}

bool ConsoleTest::Tool(const std::vector<std::string>& arguments)
{
    return Harness::StoreTool(StateDir(), arguments) == 0;
}

void ConsoleTest::Register(const std::string& id, unsigned char seed)
{
    CKeyRecord record;
    record.SetId(id);
    record.SetKey(Wire::Key(seed).data());
    ASSERT_EQ(store.CKeyStore::StoreKey(record), 1);
}

std::string ConsoleTest::KeyOf(const std::string& id)
{
    const auto list = store.LoadKeyList();
    const auto found = list.find(id);
    if (found == list.end()) {
        return "";
    }
    const CMaskBuffer& key = found->second.GetKey();
    return std::string(reinterpret_cast<const char*>(key.Data()), key.Length());
}

std::unique_ptr<Harness::CChildProcess> SpawnHelper(const std::string& stateDir,
                                                    const std::vector<std::string>& arguments, bool output)
{
    std::vector<std::string> argv{std::filesystem::read_symlink("/proc/self/exe").string(), "--console-helper"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    Harness::CChildProcess::SOptions streams;
    streams.environment = Harness::ChildEnvironment(stateDir, "");
    streams.output.kind = output ? Harness::SChildStream::EKind::Pipe : Harness::SChildStream::EKind::Inherit;
    auto helper = std::make_unique<Harness::CChildProcess>();
    EXPECT_TRUE(helper->Start(argv, streams));
    return helper;
}

int WaitHelper(Harness::CChildProcess& helper, int timeOutMs)
{
    const std::optional<int> status = helper.WaitExit(timeOutMs);
    if (!status) {
        helper.Kill();
        return -1;
    }
    return Harness::CChildProcess::ExitCode(*status);
}

std::string ReadLine(Harness::CChildProcess& helper, int timeOutMs)
{
    const auto deadline = Harness::Clock::now() + std::chrono::milliseconds(timeOutMs);
    std::string line;
    char c = 0;
    while (helper.WaitReadable(Harness::RemainingMs(deadline)) && helper.Read(&c, 1) == 1 && c != '\n') {
        line.push_back(c);
    }
    return line;
}
