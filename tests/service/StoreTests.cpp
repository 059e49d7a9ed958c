// The key service and its store's files: nothing acknowledged is lost with a file beside
// the store, and a store the service may not use keeps it from starting at all.
#include "Fixture.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/wait.h>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace Wire;

const std::string kMask = "transfer-mask-of-the-pusher";
const std::string kPassword = "Coop-Pass-7";

std::string Push(const std::string& id, const std::string& key)
{
    return Request(512) + Data(Password(kPassword, kMask)) + Int(1) + Data(id) + Data(Seal(key, id, kMask)) +
           Data(kMask) + Ack();
}

std::string Acks(int count)
{
    std::string acks;
    for (int i = 0; i < count; ++i) {
        acks += Ack();
    }
    return acks;
}

TEST_F(TernwickTest, AcknowledgedKeysOutliveTheRemovalOfEveryFileBesideTheStoreAndARestart)
{
    SetPassword(kPassword);
    Start();
    const std::vector<std::pair<std::string, std::string>> keys = {
        {"00A0B0C0D0E1", Key(1)}, {"00A0B0C0D0E2", Key(2)}, {"00A0B0C0D0E3", Key(3)}};
    ASSERT_EQ(Hex(Converse(Push(keys[0].first, keys[0].second))), Hex(Acks(6) + Status(0, 0)));
    for (const auto& entry : fs::directory_iterator(m_dir.Path())) {
        const std::string name = entry.path().filename().string();
        if (name != "settings.db" && name != "ternwick.log") {
            fs::remove(entry.path());
        }
    }
    ASSERT_EQ(Hex(Converse(Push(keys[1].first, keys[1].second))), Hex(Acks(6) + Status(0, 0)));
    // A registration by another process reaches the running service all the same.
    Register(keys[2].first, keys[2].second);
    std::string served;
    for (int i = 0; i < 100 && served != GetKeyReply(keys[2].second, keys[2].first, kMask); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        served = GetKey(keys[2].first, kMask);
    }
    EXPECT_EQ(Hex(served), Hex(GetKeyReply(keys[2].second, keys[2].first, kMask)));

    m_service->Signal(SIGTERM);
    ASSERT_TRUE(m_service->WaitExit(10000));
    Start();
    for (const auto& [id, key] : keys) {
        EXPECT_EQ(Hex(GetKey(id, kMask)), Hex(GetKeyReply(key, id, kMask))) << id;
    }
}

TEST_F(TernwickTest, AStoreTheServiceMayNotUseIsOneLogLineAndAFailedStart)
{
    const std::string file = m_dir.Path() + "/settings.db";
    const struct
    {
        const char* name;
        std::function<void()> spoil;
        const char* said;
    } cases[] = {
        {"0 bytes", [&] { fs::resize_file(file, 0); }, "is empty"},
        {"garbage", [&] { std::ofstream(file, std::ios::trunc) << std::string(8192, 'g'); }, "is damaged"},
        {"a folder others may write", [&] { fs::permissions(m_dir.Path(), fs::perms::all); }, "is refused: its mode"},
    };
    for (const auto& test : cases) {
        const std::string saved = m_dir.Path() + "/saved.db";
        fs::copy_file(file, saved, fs::copy_options::overwrite_existing);
        test.spoil();
        Harness::CTernwickProcess service(m_dir.Path(), m_notify.Address());
        const auto status = service.WaitExit(20000);
        ASSERT_TRUE(status) << test.name;
        EXPECT_EQ(WEXITSTATUS(*status), 78) << test.name;
        EXPECT_EQ(service.CountLog("cannot start: "), 1u) << service.Log();
        EXPECT_EQ(service.CountLog(test.said), 1u) << service.Log();
        EXPECT_FALSE(Harness::CanConnect(m_port)) << test.name;
        fs::permissions(m_dir.Path(), fs::perms::owner_all);
        fs::rename(saved, file);
        fs::remove(m_dir.Path() + "/ternwick.log");
    }
    EXPECT_FALSE(m_notify.WaitForLine("READY=1", 100)) << "it never reported running";
}

} // namespace
