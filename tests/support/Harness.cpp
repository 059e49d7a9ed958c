#include "Harness.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace Harness {

std::vector<std::string> ChildEnvironment(const std::string& stateDir, const std::string& notifySocket)
{
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable = *entry;
        if (variable.rfind("CORVANE_STATE_DIR=", 0) == 0 || variable.rfind("NOTIFY_SOCKET=", 0) == 0) {
            continue;
        }
        variables.push_back(variable);
    }
    variables.push_back("CORVANE_STATE_DIR=" + stateDir);
    if (!notifySocket.empty()) {
        variables.push_back("NOTIFY_SOCKET=" + notifySocket);
    }
    return variables;
}

CTempDir::CTempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "ternwick-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = pattern;
}

std::string CopyForAnyUser(const std::string& program, std::string* reason)
{
    static CTempDir folder;
    static std::map<std::string, std::string> copies;
    static std::mutex mutex;
    const std::lock_guard<std::mutex> lock(mutex);
    const auto known = copies.find(program);
    if (known != copies.end()) {
        return known->second;
    }
    namespace fs = std::filesystem;
    const fs::path copy = fs::path(folder.Path()) / fs::path(program).filename();
    std::error_code error;
    // The folders above the temporary directory are open to everyone; this one is made so.
    fs::permissions(folder.Path(),
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                        fs::perms::others_exec,
                    error);
    if (!error) {
        fs::copy_file(program, copy, fs::copy_options::overwrite_existing, error);
    }
    if (!error) {
        fs::permissions(copy,
                        fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                            fs::perms::others_exec,
                        error);
    }
    if (error) {
        *reason = "cannot copy " + program + " to " + copy.string() + " for another user: " + error.message();
        return {};
    }
    for (fs::path above = fs::path(folder.Path()).parent_path(); above != above.root_path();
         above = above.parent_path()) {
        if ((fs::status(above, error).permissions() & fs::perms::others_exec) == fs::perms::none) {
            *reason = "other users cannot enter " + above.string() + " (set TMPDIR to a folder they can)";
            return {};
        }
    }
    return copies[program] = copy.string();
}

CTempDir::~CTempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

int StoreTool(const std::string& stateDir, const std::vector<std::string>& arguments, std::string* out)
{
    std::vector<std::string> argv{STORE_TOOL_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::string output;
    const int code = RunProgram(argv, ChildEnvironment(stateDir, ""), &output);
    if (out != nullptr) {
        *out = output;
    }
    return code;
}

bool StartServing(const std::function<std::unique_ptr<CTernwickProcess>(uint16_t)>& start,
                  std::unique_ptr<CTernwickProcess>& service, uint16_t& port, int timeOutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeOutMs);
    for (int attempt = 0; attempt < 5; ++attempt) {
        const uint16_t chosen = attempt == 0 && port != 0 ? port : FreePort();
        service = start(chosen);
        port = chosen;
        if (!service || service->Pid() <= 0) {
            return false;
        }
        // Its own log line (not one of an earlier run in the same log file), not just an
        // answer on the port: a test running beside this one may have taken the port first,
        // and would answer there until it ends.
        const std::string listening = "listening on port " + std::to_string(port);
        while (RemainingMs(deadline) > 0 && service->Running() &&
               service->OwnLog().find(listening) == std::string::npos) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (service->Running()) {
            return RemainingMs(deadline) > 0 && WaitForListener(port, RemainingMs(deadline));
        }
        if (!service->FoundPortTaken(port)) {
            return false;
        }
    }
    return false;
}

bool StartServing(const std::string& stateDir, std::unique_ptr<CTernwickProcess>& service, uint16_t& port)
{
    return StartServing(
        [&](uint16_t chosen) {
            return StoreTool(stateDir, {"port", std::to_string(chosen)}) == 0
                       ? std::make_unique<CTernwickProcess>(stateDir, "")
                       : nullptr;
        },
        service, port);
}

void RaiseDescriptorLimit()
{
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

std::vector<std::string> UnderMachineIdentity(const std::string& machineIdFile, const std::vector<std::string>& argv)
{
    // unshare and sh exec what follows: the pid stays the command's.
    std::vector<std::string> wrapped{"/usr/bin/unshare",
                                     "--mount",
                                     "--propagation",
                                     "private",
                                     "/bin/sh",
                                     "-c",
                                     "mount --bind \"$0\" /etc/machine-id && exec \"$@\"",
                                     machineIdFile};
    wrapped.insert(wrapped.end(), argv.begin(), argv.end());
    return wrapped;
}

bool CanChangeMachineIdentity()
{
    return geteuid() == 0 && std::system("/usr/bin/unshare --mount --propagation private /bin/sh -c "
                                         "'mount --bind /etc/machine-id /etc/machine-id' >/dev/null 2>&1") == 0;
}

} // namespace Harness
