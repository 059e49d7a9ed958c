#pragma once

#include "Harness.h"
#include "TestStorage.h"
#include "admin/CTerminal.h"
#include "settings/CKeyStore.h"

#include <cstdint>
#include <deque>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CSqliteStore;

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

// corvane-admin in this process on a private store in a fresh state directory (shared
// with the service and the store tool as other processes), lock-key sticks on temporary
// folders, and a scripted terminal.
class AdminTest : public ::testing::Test
{
protected:
    AdminTest();
    ~AdminTest() override;

    // Runs corvane-admin with the arguments and standard input; its output in out and err.
    int Run(const std::vector<std::string>& args, const std::string& input = "");

    // A USB stick on the drive letter holding the lock key of the ID, made from the seed
    // and bound to the stick's identity; keyLength cuts the key file short.
    void PlugStick(char letter, const std::string& id, unsigned char seed,
                   const std::optional<std::string>& serial = "0011AABB", size_t keyLength = 32);
    void Register(const std::string& id, unsigned char seed);
    // The registered key of the ID, or "" when it is not registered.
    std::string KeyOf(const std::string& id);
    std::vector<std::string> Registered();

    const std::string& StateDir() const { return m_dir.Path(); }

    Harness::CTempDir m_dir;
    std::unique_ptr<CSqliteStore> m_sqlite;
    CKeyStore store;
    CTestStorage storage;
    CTempFolder sticks;
    CScriptedTerminal terminal;
    std::vector<uint16_t> portsFollowed;
    uint32_t serviceState = 0;
    std::string out;
    std::string err;
};
