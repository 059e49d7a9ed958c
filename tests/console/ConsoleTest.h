#pragma once

#include "Harness.h"
#include "console/CConsoleTasks.h"
#include "settings/CKeyStore.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

class CSqliteStore;

// The real key store that refuses every change while failWrites is set.
class CFailingKeyStore : public CKeyStore
{
public:
    int StoreKey(const CKeyRecord& record) override { return failWrites ? 0 : CKeyStore::StoreKey(record); }
    int DeleteKey(std::string_view id) override { return failWrites ? 0 : CKeyStore::DeleteKey(id); }
    int SetPortFromText(std::string_view text) override { return failWrites ? 0 : CKeyStore::SetPortFromText(text); }
    int WritePassword(std::string_view text) override { return failWrites ? 0 : CKeyStore::WritePassword(text); }

    bool failWrites = false;
};

// A private store in a fresh state directory, shared with the store tool and the service
// started as other processes; the console's tasks on it record every port change.
class ConsoleTest : public ::testing::Test
{
protected:
    ConsoleTest();
    ~ConsoleTest() override;

    const std::string& StateDir() const { return m_dir.Path(); }
    // Runs the store tool on the state directory as another process; true on success.
    bool Tool(const std::vector<std::string>& arguments);
    void Register(const std::string& id, unsigned char seed);
    // The registered key of the ID, or "" when it is not registered.
    std::string KeyOf(const std::string& id);

    Harness::CTempDir m_dir;
    std::unique_ptr<CSqliteStore> m_sqlite;
    CFailingKeyStore store;
    std::vector<uint16_t> portsChanged;
    CConsoleTasks tasks{store, [this](uint16_t port) { portsChanged.push_back(port); }};
};

// Runs this test program in its helper mode (Main.cpp) on the state directory; the child's
// standard output into a pipe (ReadLine) when wanted.
std::unique_ptr<Harness::CChildProcess> SpawnHelper(const std::string& stateDir,
                                                    const std::vector<std::string>& arguments, bool output = false);
// The child's exit code, 128 + signal when killed, -1 when it did not end in time.
int WaitHelper(Harness::CChildProcess& helper, int timeOutMs = 60000);
// Reads one line of the child's output within the time ("" when none came).
std::string ReadLine(Harness::CChildProcess& helper, int timeOutMs);
