#include "ConsoleTest.h"

#include "Wire.h"
#include "settings/CSettingsStore.h"
#include "settings/sqlite/CSqliteStore.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

ConsoleTest::ConsoleTest() : m_sqlite(std::make_unique<CSqliteStore>(m_dir.Path()))
{
    SetSettingsStoreForTesting(m_sqlite.get());
}

ConsoleTest::~ConsoleTest()
{
    SetSettingsStoreForTesting(nullptr);
}

bool ConsoleTest::Tool(const std::vector<std::string>& arguments)
{
    return Harness::StoreTool(StateDir(), arguments) == 0;
}

void ConsoleTest::Register(const std::string& id, unsigned char seed)
{
    CKeyRecord record;
    record.SetId(id);
    record.SetKey(Wire::Key(seed).data());
    ASSERT_EQ(store.CKeyStore::StoreKey(record), 1);
}

std::string ConsoleTest::KeyOf(const std::string& id)
{
    const auto list = store.LoadKeyList();
    const auto found = list.find(id);
    if (found == list.end()) {
        return "";
    }
    const CMaskBuffer& key = found->second.GetKey();
    return std::string(reinterpret_cast<const char*>(key.Data()), key.Length());
}

pid_t SpawnHelper(const std::string& stateDir, const std::vector<std::string>& arguments, int* output)
{
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        return -1;
    }
    self[length] = '\0';
    std::vector<std::string> argv{self, "--console-helper"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    auto argPointers = Harness::Pointers(argv);
    auto environment = Harness::ChildEnvironment(stateDir, "");
    auto envPointers = Harness::Pointers(environment);

    int pipeFds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output != nullptr && pipe2(pipeFds, O_CLOEXEC) == 0) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, self, &actions, nullptr, argPointers.data(), envPointers.data()) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    if (pipeFds[1] >= 0) {
        close(pipeFds[1]);
        *output = pipeFds[0];
    }
    return pid;
}

int WaitHelper(pid_t pid, int timeOutMs)
{
    const auto deadline = Harness::Clock::now() + std::chrono::milliseconds(timeOutMs);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Harness::RemainingMs(deadline) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ReadLine(int fd, int timeOutMs)
{
    const auto deadline = Harness::Clock::now() + std::chrono::milliseconds(timeOutMs);
    std::string line;
    char c = 0;
    pollfd entry{fd, POLLIN, 0};
    while (poll(&entry, 1, Harness::RemainingMs(deadline)) > 0 && read(fd, &c, 1) == 1 && c != '\n') {
        line.push_back(c);
    }
    return line;
}

CListener::CListener(int family, uint16_t port) : m_fd(socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0))
{
    sockaddr_storage address{};
    socklen_t length = sizeof(sockaddr_in);
    if (family == AF_INET6) {
        const int one = 1;
        setsockopt(m_fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
        auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        v6.sin6_addr = in6addr_loopback;
        length = sizeof v6;
    } else {
        auto& v4 = reinterpret_cast<sockaddr_in&>(address);
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    listening = bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) == 0 && listen(m_fd, 4) == 0;
}

CListener::~CListener()
{
    close(m_fd);
}
