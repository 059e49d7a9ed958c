#include "Harness.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
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

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (auto& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
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
    auto argPointers = Pointers(argv);
    auto environment = ChildEnvironment(stateDir, "");
    auto envPointers = Pointers(environment);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, argPointers.data(), envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    std::string output;
    char buffer[4096];
    ssize_t got;
    while (spawned == 0 && (got = read(pipeFds[0], buffer, sizeof buffer)) != 0) {
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            break;
        }
        output.append(buffer, static_cast<size_t>(got));
    }
    close(pipeFds[0]);
    if (spawned != 0) {
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (out != nullptr) {
        *out = output;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
