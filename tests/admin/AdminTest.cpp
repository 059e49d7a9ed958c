#include "AdminTest.h"

#include "Wire.h"
#include "admin/CAdminProgram.h"

#include <atomic>
#include <filesystem>
#include <random>
#include <sstream>

CScratchFolder::CScratchFolder()
{
    // Test programs may run side by side: a name no other process picks.
    static std::atomic<unsigned> counter{0};
    const auto base = std::filesystem::temp_directory_path();
    std::random_device random;
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
        const auto path = base / ("corvane-admin-test-" + std::to_string(random()) + "-" + std::to_string(counter++));
        if (std::filesystem::create_directory(path)) {
            m_path = path.generic_string();
        }
    }
    EXPECT_FALSE(m_path.empty()) << "no temporary folder";
}

CScratchFolder::~CScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

bool CScriptedTerminal::Ask(const std::string& question)
{
    asked.push_back(question);
    const std::string answer = typed.empty() ? "" : typed.front();
    if (!typed.empty()) {
        typed.pop_front();
    }
    return answer == "y";
}

std::optional<std::string> CScriptedTerminal::ReadSecret(const std::string& prompt)
{
    asked.push_back(prompt);
    if (typed.empty()) {
        return std::nullopt;
    }
    std::string line = typed.front();
    typed.pop_front();
    return line;
}

int AdminTest::Run(const std::vector<std::string>& args, const std::string& input)
{
    std::istringstream in(input);
    std::ostringstream outStream;
    std::ostringstream errStream;
    const SAdminEnvironment environment{
        store,
        *m_storageSystem,
        terminal,
        in,
        outStream,
        errStream,
        m_storeLocation,
        [this] { return serviceState; },
        [this](uint16_t port) { portsFollowed.push_back(port); },
        SealedExport::LeastCost(),
        "",
        m_countsDirectory,
    };
    const int status = CAdminProgram(environment).Run(args);
    out = outStream.str();
    err = errStream.str();
    return status;
}

void AdminTest::Register(const std::string& id, unsigned char seed)
{
    CKeyRecord record;
    record.SetId(id);
    record.SetKey(Wire::Key(seed).data());
    ASSERT_EQ(store.StoreKey(record), 1);
}

std::string AdminTest::KeyOf(const std::string& id)
{
    const auto list = store.LoadKeyList();
    const auto found = list.find(id);
    return found == list.end() ? "" : std::string(found->second.GetKey().View());
}

std::vector<std::string> AdminTest::Registered()
{
    std::vector<std::string> ids;
    for (const auto& entry : store.LoadKeyList()) {
        ids.push_back(entry.first);
    }
    return ids;
}
