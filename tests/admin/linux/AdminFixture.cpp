#include "AdminTest.h"
#include "Wire.h"
#include "keys/AsciiCase.h"
#include "settings/CSettingsStore.h"
#include "settings/linux/CSqliteStore.h"

#include <fstream>
#include <sstream>
#include <sys/wait.h>

CKeyServer::CKeyServer(const std::string& password)
{
    EXPECT_EQ(Harness::StoreTool(dir.Path(), {"layout"}), 0);
    EXPECT_EQ(Harness::StoreTool(dir.Path(), {"password", password}), 0);
    const bool serving = Harness::StartServing(
        [this](uint16_t chosen) {
            EXPECT_EQ(Harness::StoreTool(dir.Path(), {"port", std::to_string(chosen)}), 0);
            return std::make_unique<Harness::CTernwickProcess>(dir.Path(), "");
        },
        process, port);
    EXPECT_TRUE(serving) << process->Log();
}

void CKeyServer::Register(const std::string& id, unsigned char seed) const
{
    EXPECT_EQ(Harness::StoreTool(dir.Path(), {"key", id, Wire::Hex(Wire::Key(seed))}), 0);
}

std::string CKeyServer::Served(const std::string& id) const
{
    const std::string reply = Harness::Converse(port, Wire::Request(16) + Wire::Data(id) + Wire::Data("unit-mask") +
                                                          Wire::Ack() + Wire::Ack());
    const std::string prefix = Wire::Ack() + Wire::Ack() + Wire::Ack();
    return reply.rfind(prefix, 0) == 0 ? reply.substr(prefix.size()) : "<" + Wire::Hex(reply) + ">";
}

std::string ServedKey(const std::string& id, unsigned char seed)
{
    return Wire::Data(Wire::Seal(Wire::Key(seed), id, "unit-mask")) + Wire::Status(0, 0);
}

SProgramRun RunAdminProgram(const std::string& stateDir, const std::vector<std::string>& args,
                            const SProgramOptions& options)
{
    Harness::CTempDir outputDir;
    const std::string inPath = outputDir.Path() + "/in";
    const std::string outPath = outputDir.Path() + "/out";
    const std::string errPath = outputDir.Path() + "/err";
    std::ofstream(inPath) << options.input;
    // Another user runs a copy it can reach: the build tree may be closed to it.
    std::string unreachable;
    std::vector<std::string> argv{options.asNobody ? Harness::CopyForAnyUser(CORVANE_ADMIN_PATH, &unreachable)
                                                   : std::string(CORVANE_ADMIN_PATH)};
    argv.insert(argv.end(), args.begin(), args.end());
    if (options.asNobody) {
        argv.insert(argv.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    if (!options.machineIdFile.empty()) {
        argv = Harness::UnderMachineIdentity(options.machineIdFile, argv);
    }
    Harness::CChildProcess::SOptions streams;
    streams.environment = Harness::ChildEnvironment(stateDir, "");
    streams.input = {Harness::SChildStream::EKind::File, inPath};
    streams.output = {Harness::SChildStream::EKind::File, outPath};
    streams.error = {Harness::SChildStream::EKind::File, errPath};
    Harness::CChildProcess program;
    SProgramRun run;
    const std::optional<int> status = program.Start(argv, streams) ? program.WaitExit(120000) : std::nullopt;
    if (status && WIFEXITED(*status)) {
        run.status = WEXITSTATUS(*status);
    }
    std::ostringstream outText;
    outText << std::ifstream(outPath).rdbuf();
    run.out = outText.str();
    std::ostringstream errText;
    errText << std::ifstream(errPath).rdbuf();
    run.err = errText.str();
    return run;
}

AdminTest::AdminTest()
    : m_sqlite(std::make_unique<CSqliteStore>(m_dir.Path())), m_storeLocation(m_dir.Path() + "/settings.db"),
      m_countsDirectory(m_dir.Path()), m_storageSystem(&storage.system)
{
    SetSettingsStoreForTesting(m_sqlite.get());
    EXPECT_EQ(store.CreateLayout(), 1);
    storage.devices.AddOtherDisk({254, 0}, {{254, 1}});
    storage.drives.Add('C', sticks.Folder("C"), {254, 1});
}

AdminTest::~AdminTest()
{
    SetSettingsStoreForTesting(nullptr);
}

const std::string& AdminTest::StateDir() const
{
    return m_dir.Path();
}

std::unique_ptr<Harness::CTernwickProcess> AdminTest::StartService(uint16_t& port, const std::string& machineIdFile)
{
    std::unique_ptr<Harness::CTernwickProcess> service;
    const bool serving = Harness::StartServing(
        [&](uint16_t chosen) {
            EXPECT_EQ(store.WritePort(chosen), 1);
            return std::make_unique<Harness::CTernwickProcess>(StateDir(), "", 0, "", machineIdFile);
        },
        service, port);
    EXPECT_TRUE(serving) << service->Log();
    return service;
}

void AdminTest::PlugStick(char letter, const std::string& id, unsigned char seed,
                          const std::optional<std::string>& serial, size_t keyLength)
{
    const auto disk = static_cast<uint32_t>(16 * (letter - 'C'));
    storage.devices.AddStick({8, disk}, {{8, disk + 1}}, 0x0ABC, 0x00EF, serial);
    storage.drives.Add(letter, sticks.Folder(std::string(1, letter)), {8, disk + 1});
    // The file holds the key plus the stick's identity plus the ID, each repeated.
    const std::string identity = UpperAscii("0abc00ef" + serial.value_or(""));
    const std::string bound = Wire::Seal(Wire::Key(seed), identity, UpperAscii(id)).substr(0, keyLength);
    sticks.File(std::string(1, letter) + "/dont_delete_" + id + "/" + id, bound);
}
