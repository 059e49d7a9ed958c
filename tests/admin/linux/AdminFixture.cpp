#include "AdminTest.h"
#include "Wire.h"
#include "keys/AsciiCase.h"
#include "settings/CSettingsStore.h"
#include "settings/sqlite/CSqliteStore.h"

#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

CKeyServer::CKeyServer(const std::string& password) : port(Harness::FreePort())
{
    EXPECT_EQ(Harness::StoreTool(dir.Path(), {"layout"}), 0);
    EXPECT_EQ(Harness::StoreTool(dir.Path(), {"port", std::to_string(port)}), 0);
    EXPECT_EQ(Harness::StoreTool(dir.Path(), {"password", password}), 0);
    process = std::make_unique<Harness::CTernwickProcess>(dir.Path(), "");
    EXPECT_TRUE(Harness::WaitForListener(port, 20000)) << process->Log();
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
    const int inFd = open(inPath.c_str(), O_RDONLY | O_CLOEXEC);
    const int outFd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    // Another user runs a copy it can reach: the build tree may be closed to it.
    std::string unreachable;
    std::vector<std::string> argv{options.asNobody ? Harness::CopyForAnyUser(CORVANE_ADMIN_PATH, &unreachable)
                                                   : std::string(CORVANE_ADMIN_PATH)};
    argv.insert(argv.end(), args.begin(), args.end());
    if (!options.machineIdFile.empty()) {
        argv = Harness::UnderMachineIdentity(options.machineIdFile, argv);
    }
    auto argPointers = Harness::Pointers(argv);
    auto environment = Harness::ChildEnvironment(stateDir, "");
    auto envPointers = Harness::Pointers(environment);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(inFd, STDIN_FILENO);
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        if (!options.asNobody || (setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0)) {
            execve(argv[0].c_str(), argPointers.data(), envPointers.data());
        }
        _exit(127);
    }
    for (const int fd : {inFd, outFd, errFd}) {
        close(fd);
    }
    SProgramRun run;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        run.status = WEXITSTATUS(status);
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
