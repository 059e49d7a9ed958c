#include "StoreTestSupport.h"
#include "settings/CKeyStore.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sqlite3.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

class ProcessTest : public StoreTest
{
protected:
    std::string IntegrityCheck()
    {
        sqlite3* db = nullptr;
        std::string result;
        // Read-write, as every writer opens it: a change the killed writer left half done is
        // undone first.
        if (sqlite3_open_v2((StateDir() + "/settings.db").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
            sqlite3_stmt* statement = nullptr;
            if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK) {
                while (sqlite3_step(statement) == SQLITE_ROW) {
                    result += reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
                }
            }
            sqlite3_finalize(statement);
        }
        sqlite3_close(db);
        return result;
    }
};

// Reads the helper's report lines until it ends them; calls onLine for each.
template <typename OnLine> void ReadLines(Harness::CChildProcess& helper, OnLine onLine)
{
    std::string pending;
    char buffer[4096];
    long got = 0;
    while ((got = helper.Read(buffer, sizeof buffer)) > 0) {
        pending.append(buffer, static_cast<size_t>(got));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            onLine(pending.substr(0, end));
            pending.erase(0, end + 1);
        }
    }
}

TEST_F(ProcessTest, TwoProcessesWritingAtOnceCorruptNothingAndTheLastWriteWins)
{
    CKeyStore store;
    ASSERT_EQ(store.CreateLayout(), 1);
    const std::string lockFile = StateDir() + "/../contend.lock";
    // Both report into one file, each line appended under the lock that orders their writes.
    const Harness::SChildStream reportFile{Harness::SChildStream::EKind::AppendFile, StateDir() + "/../contend.log"};
    constexpr int kCount = 150;
    const auto first = SpawnHelper(StateDir(), {"contend", "1", std::to_string(kCount), lockFile}, reportFile);
    const auto second = SpawnHelper(StateDir(), {"contend", "2", std::to_string(kCount), lockFile}, reportFile);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(WaitHelper(*first), 0);
    EXPECT_EQ(WaitHelper(*second), 0);
    std::ifstream reported(reportFile.path);
    std::string lastLine;
    int reports = 0;
    for (std::string line; std::getline(reported, line); ++reports) {
        lastLine = line;
    }
    EXPECT_EQ(reports, 40);

    EXPECT_EQ(IntegrityCheck(), "ok");
    const auto list = store.LoadKeyList();
    EXPECT_EQ(list.size(), static_cast<size_t>(3 * kCount + 1));
    for (int i = 0; i < kCount; ++i) {
        for (int tag : {1, 2}) {
            const std::string id = "OWN" + std::to_string(tag) + "-" + std::to_string(i);
            ASSERT_TRUE(list.count(id)) << id;
            EXPECT_EQ(list.at(id).GetKey().View(), KeyBytes(tag, i)) << id;
        }
        const std::string shared = "SHARED-" + std::to_string(i);
        ASSERT_TRUE(list.count(shared));
        const auto bytes = list.at(shared).GetKey().View();
        EXPECT_TRUE(bytes == KeyBytes(1, i) || bytes == KeyBytes(2, i)) << shared << " holds neither write";
    }
    std::istringstream last(lastLine);
    int tag = 0;
    int index = 0;
    ASSERT_TRUE(last >> tag >> index) << lastLine;
    ASSERT_TRUE(list.count("LAST"));
    EXPECT_EQ(list.at("LAST").GetKey().View(), KeyBytes(tag, index));
}

TEST_F(ProcessTest, AWriterKilledMidwayLeavesASoundStoreWithEveryConfirmedKey)
{
    CKeyStore store;
    ASSERT_EQ(store.CreateLayout(), 1);
    const auto writer =
        SpawnHelper(StateDir(), {"store-many", "K", "7", "1000000"}, {Harness::SChildStream::EKind::Pipe, ""});
    ASSERT_NE(writer, nullptr);
    std::vector<int> confirmed;
    bool killed = false;
    ReadLines(*writer, [&](const std::string& line) {
        confirmed.push_back(std::stoi(line));
        if (!killed && confirmed.size() >= 300) {
            writer->Signal(SIGKILL);
            killed = true;
        }
    });
    EXPECT_EQ(WaitHelper(*writer), 128 + SIGKILL);
    ASSERT_GE(confirmed.size(), 300u);

    EXPECT_EQ(IntegrityCheck(), "ok");
    const auto list = store.LoadKeyList();
    for (int i : confirmed) {
        const std::string id = "K" + std::to_string(i);
        ASSERT_TRUE(list.count(id)) << id << " was confirmed but is gone";
        EXPECT_EQ(list.at(id).GetKey().View(), KeyBytes(7, i));
    }
    // The store still takes writes.
    EXPECT_EQ(store.StoreKey(MakeRecord("AFTER", KeyBytes(8, 8))), 1);
}

TEST_F(ProcessTest, ABurstOfWritersNearTheDescriptorLimitWaitsItsTurnInsteadOfFailing)
{
    CKeyStore store;
    ASSERT_EQ(store.CreateLayout(), 1);
    // Another writer holds the store: every writer of the burst waits inside the store.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((StateDir() + "/settings.db").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    // Few descriptors left, as for a service holding most of its connections.
    size_t open = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        static_cast<void>(entry);
        ++open;
    }
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = open + 24;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);

    std::atomic<int> failures{0};
    std::vector<std::thread> writers;
    for (int i = 0; i < 32; ++i) {
        writers.emplace_back([&failures, i] {
            CKeyStore local;
            failures += local.StoreKey(MakeRecord("BURST" + std::to_string(i), KeyBytes(9, i))) != 1;
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    for (auto& writer : writers) {
        writer.join();
    }
    setrlimit(RLIMIT_NOFILE, &saved);
    sqlite3_close(other);
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(store.LoadKeyList().size(), 32u);
}

TEST_F(ProcessTest, TheChangeCountMovesWithEveryChangeOfAnyProcessBeforeItReturns)
{
    CKeyStore store;
    ASSERT_EQ(store.CreateLayout(), 1);
    uint64_t last = store.ChangeCount();
    ASSERT_NE(last, 0u);
    const auto moved = [&] {
        const uint64_t now = store.ChangeCount();
        return std::exchange(last, now) != now;
    };
    ASSERT_EQ(RunHelper(StateDir(), {"store", "C1", "4", "1"}), 0);
    EXPECT_TRUE(moved()) << "a write of another process";
    ASSERT_EQ(store.WritePort(4321), 1);
    EXPECT_TRUE(moved()) << "a write of this process";
    EXPECT_FALSE(moved());
    ASSERT_EQ(RunHelper(StateDir(), {"delete", "C1"}), 0);
    EXPECT_TRUE(moved());
}

TEST_F(ProcessTest, TheStoreIsCreatedOwnerOnlyWhateverTheUmask)
{
    const mode_t previous = umask(0);
    CKeyStore store;
    const int created = store.CreateLayout();
    umask(previous);
    ASSERT_EQ(created, 1);
    struct stat info
    {};
    ASSERT_EQ(stat(StateDir().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    const std::string file = StateDir() + "/settings.db";
    ASSERT_EQ(stat(file.c_str(), &info), 0) << file;
    EXPECT_EQ(info.st_mode & 07777, 0600u) << file;
    // Every change is in the database itself: no log or journal is left beside it.
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        EXPECT_NE(stat((file + suffix).c_str(), &info), 0) << suffix;
    }
}

TEST_F(ProcessTest, AnUnprivilegedUserCannotOpenTheStore)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run a child as another user";
    }
    CKeyStore store;
    ASSERT_EQ(store.CreateLayout(), 1);
    ASSERT_EQ(store.StoreKey(MakeRecord("00A0B0C0D0E0", KeyBytes(1, 1))), 1);
    // Let the child reach the state directory, so that its own mode is what refuses.
    const std::string parent = StateDir().substr(0, StateDir().rfind('/'));
    ASSERT_EQ(chmod(parent.c_str(), 0755), 0);
    const int first = RunHelper(StateDir(), {"denied"});
    if (first == 100) {
        GTEST_SKIP() << "this environment does not let root change its user";
    }
    EXPECT_EQ(first, 0) << "the directory mode must refuse";
    // And with the directory passable, the file's mode alone.
    ASSERT_EQ(chmod(StateDir().c_str(), 0711), 0);
    EXPECT_EQ(RunHelper(StateDir(), {"denied"}), 0) << "the file mode must refuse";
    ASSERT_EQ(chmod(StateDir().c_str(), 0700), 0);
}

} // namespace
