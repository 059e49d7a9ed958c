#pragma once

#include "keys/CKeyRecord.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

// The platform's store, on a private location: a temporary state directory on Linux, a
// private branch of HKEY_LOCAL_MACHINE standing in for its root on Windows.
#ifdef _WIN32
#include "settings/win32/CWin32RegistryStore.h"
using CTestStore = CWin32RegistryStore;
#else
#include "CChildProcess.h"
#include "settings/linux/CSqliteStore.h"

using CTestStore = CSqliteStore;
#endif

// The machine text of every test and helper process unless a test sets another.
inline constexpr const char* kTestMachineText = "4c2d9e0f7a6b41c8b3d5e6f708192a3b";

// A private store, installed as the process's store, with the test machine text.
class StoreTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // The temporary state directory (Linux) or the private branch (Windows).
    const std::string& StateDir() const { return m_stateDir; }
    CTestStore& Store() { return *m_store; }

private:
    std::string m_root;
    std::string m_stateDir;
    std::unique_ptr<CTestStore> m_store;
};

// Deterministic key bytes for (tag, index).
std::string KeyBytes(int tag, int index);
CKeyRecord MakeRecord(const std::string& id, const std::string& key);

#ifndef _WIN32
// Starts this test program in helper mode (see StoreHelper.cpp) on the state directory; the
// lines it reports on its standard output go where report says. Null when it cannot start.
std::unique_ptr<Harness::CChildProcess> SpawnHelper(const std::string& stateDir, const std::vector<std::string>& args,
                                                    const Harness::SChildStream& report = {});
// The helper's exit status (0-255), 128+signal when killed, -1 (and killed) when it did not
// end in time.
int WaitHelper(Harness::CChildProcess& helper, int timeoutSeconds = 120);
// Runs a helper to completion.
int RunHelper(const std::string& stateDir, const std::vector<std::string>& args);
// Runs one helper action in this process (the same actions SpawnHelper runs in a child).
int RunHelperMode(const std::vector<std::string>& args);
#endif

// Raw reads through the registry layer, for checking what the store holds.
bool ReadRaw(const std::string& path, const std::string& name, std::string& data, uint32_t* type = nullptr);
bool WriteRaw(const std::string& path, const std::string& name, const std::string& data, uint32_t type);
