#pragma once

#include "admin/CTerminal.h"
#include "settings/CKeyStore.h"

#include <cstdint>
#include <deque>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The store is the platform's on a private location: SQLite in a temporary state directory
// on Linux, a private branch of HKEY_LOCAL_MACHINE standing in for its root on Windows. The
// sticks on temporary folders, the real Ternwick and the program in processes of their own
// are the Linux fixture's (linux/AdminFixture.cpp).
class CStorageSystem;

#ifdef _WIN32
class CWin32RegistryStore;
#else
#include "Harness.h"
#include "TestStorage.h"

class CSqliteStore;
#endif

// A temporary folder, removed with what it holds.
class CScratchFolder
{
public:
    CScratchFolder();
    ~CScratchFolder();
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// A terminal whose administrator types the lines given, in order; records what was asked.
class CScriptedTerminal : public CTerminal
{
public:
    bool IsInteractive() override { return interactive; }
    bool Ask(const std::string& question) override;
    std::optional<std::string> ReadSecret(const std::string& prompt) override;
    bool ShowsProgress() override { return showsProgress; }
    void Progress(const std::string& line) override { progress.push_back(line); }
    void EndProgress() override { progress.push_back("end"); }

    bool interactive = false;
    bool showsProgress = false;
    std::deque<std::string> typed;
    std::vector<std::string> asked;
    std::vector<std::string> progress;
};

#ifndef _WIN32
// Another key server: the real service on a state directory of its own, with a
// cooperation password.
class CKeyServer
{
public:
    explicit CKeyServer(const std::string& password);

    // Registers the key of the seed there.
    void Register(const std::string& id, unsigned char seed) const;
    // What it answers a unit asking for the key of the ID (after the acknowledgements).
    std::string Served(const std::string& id) const;

    Harness::CTempDir dir;
    uint16_t port = 0;
    std::unique_ptr<Harness::CTernwickProcess> process;
};

// What a key server answers for a key registered from the seed.
std::string ServedKey(const std::string& id, unsigned char seed);

// How the installed corvane-admin is run in a process of its own.
struct SProgramOptions
{
    bool asNobody = false;     // as an unprivileged user
    std::string machineIdFile; // seeing this file as /etc/machine-id (needs root)
    std::string input;         // its standard input
};

struct SProgramRun
{
    int status = -1;
    std::string out;
    std::string err;
};

// The installed program on the state directory ("" sets CORVANE_STATE_DIR empty).
SProgramRun RunAdminProgram(const std::string& stateDir, const std::vector<std::string>& args,
                            const SProgramOptions& options = {});

#endif

// corvane-admin in this process on a private store (on Linux in a fresh state directory,
// shared with the service and the store tool as other processes, with lock-key sticks on
// temporary folders), and a scripted terminal.
class AdminTest : public ::testing::Test
{
protected:
    AdminTest();
    ~AdminTest() override;

    // Runs corvane-admin with the arguments and standard input; its output in out and err.
    int Run(const std::vector<std::string>& args, const std::string& input = "");

    void Register(const std::string& id, unsigned char seed);
    // The registered key of the ID, or "" when it is not registered.
    std::string KeyOf(const std::string& id);
    std::vector<std::string> Registered();

#ifdef _WIN32
    std::string m_branch;
    std::unique_ptr<CWin32RegistryStore> m_registry;
    // The program data folder's stand-in.
    CScratchFolder m_stateFolder;
#else
    // A USB stick on the drive letter holding the lock key of the ID, made from the seed
    // and bound to the stick's identity; keyLength cuts the key file short.
    void PlugStick(char letter, const std::string& id, unsigned char seed,
                   const std::optional<std::string>& serial = "0011AABB", size_t keyLength = 32);
    const std::string& StateDir() const;
    // The real service on this store, on a free port written into it (another when another
    // program took that one first), the port in port; seeing the machine-id file as
    // /etc/machine-id when given. The test fails when it does not answer.
    std::unique_ptr<Harness::CTernwickProcess> StartService(uint16_t& port, const std::string& machineIdFile = "");

    Harness::CTempDir m_dir;
    std::unique_ptr<CSqliteStore> m_sqlite;
    CTestStorage storage;
    CTempFolder sticks;
#endif
    // Where the store is, as the program names it, where the guards' counts are, and the
    // sticks the program sees.
    std::string m_storeLocation;
    std::string m_countsDirectory;
    const CStorageSystem* m_storageSystem = nullptr;
    CKeyStore store;
    CScriptedTerminal terminal;
    std::vector<uint16_t> portsFollowed;
    uint32_t serviceState = 0;
    std::string out;
    std::string err;
};
