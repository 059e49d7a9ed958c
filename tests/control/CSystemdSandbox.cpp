#include "CSystemdSandbox.h"

#include "CChildProcess.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sched.h>
#include <stdexcept>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Standard output through a pipe, standard error through a file beside it.
CSystemdSandbox::Result RunCaptured(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                                    const std::string& errPath)
{
    CSystemdSandbox::Result result;
    Harness::CChildProcess::SOptions streams;
    streams.environment = extraEnv;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::string_view(*entry).rfind("SANDBOX_", 0) != 0) {
            streams.environment.emplace_back(*entry);
        }
    }
    streams.output.kind = Harness::SChildStream::EKind::Pipe;
    streams.error = {Harness::SChildStream::EKind::File, errPath};
    Harness::CChildProcess child;
    if (child.Start(argv, streams)) {
        result.out = child.ReadAll();
        const std::optional<int> status = child.WaitExit(24 * 3600 * 1000);
        result.status = status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
        result.err = ReadFile(errPath);
    }
    return result;
}

} // namespace

CSystemdSandbox::CSystemdSandbox(const std::string& script, const std::string& stage) : m_script(script), m_stage(stage)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-sandbox-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_dir = pattern;
    const Result started = Script({"start"});
    m_booted = started.status == 0;
    if (started.status == 77) {
        m_skipReason = started.err;
    }
    m_bootLog = started.err + ReadFile(m_dir + "/console.log");
}

CSystemdSandbox::~CSystemdSandbox()
{
    Script({"stop"});
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

CSystemdSandbox::Result CSystemdSandbox::Exec(const std::vector<std::string>& command) const
{
    std::vector<std::string> arguments{"exec"};
    arguments.insert(arguments.end(), command.begin(), command.end());
    return Script(arguments);
}

bool CSystemdSandbox::EnterNetwork() const
{
    const std::string pid = ReadFile(m_dir + "/pid");
    const int fd = open(("/proc/" + pid.substr(0, pid.find('\n')) + "/ns/net").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool entered = setns(fd, CLONE_NEWNET) == 0;
    close(fd);
    return entered;
}

CSystemdSandbox::Result CSystemdSandbox::Script(const std::vector<std::string>& arguments) const
{
    std::vector<std::string> argv{"/bin/bash", m_script};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunCaptured(argv, {"SANDBOX_DIR=" + m_dir, "SANDBOX_STAGE=" + m_stage}, m_dir + "/stderr");
}
