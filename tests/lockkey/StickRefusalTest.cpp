#include "TestStorage.h"
#include "console/lockkey/CLockKeyEntry.h"
#include "console/lockkey/CLockKeyScanner.h"

#include <algorithm>
#include <cstddef>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <string>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string Id(int n)
{
    const std::string digits = std::to_string(n);
    return std::string(12 - digits.size(), '0') + digits;
}

std::string KeyPath(int n)
{
    return "E:\\dont_delete_" + Id(n) + "\\" + Id(n);
}

// Runs the check in a child process made ready by prepare (which may fail); the numbers it
// found come back through a pipe. Empty when the child could not be made ready.
std::vector<int> InChild(const std::function<bool()>& prepare, const std::function<std::vector<int>()>& check)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return {};
    }
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        const std::vector<int> found = prepare() ? check() : std::vector<int>();
        const ssize_t written = write(pipeEnds[1], found.data(), found.size() * sizeof(int));
        _exit(written < 0 ? 1 : 0);
    }
    close(pipeEnds[1]);
    std::vector<int> found(64);
    const ssize_t got = read(pipeEnds[0], found.data(), found.size() * sizeof(int));
    found.resize(got < 0 ? 0 : static_cast<size_t>(got) / sizeof(int));
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return found;
}

bool OwnMountNamespace()
{
    return unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// A kernel older than openat2: every call of it fails with ENOSYS.
bool WithoutOpenat2()
{
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat2, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (ENOSYS & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// A stick on drive E: whose key files try to name things off the stick, and those things
// watched for any open.
class StickRefusalTest : public ::testing::Test
{
protected:
    StickRefusalTest()
    {
        storage.drives.Add('E', temp.Folder("E"), {9, 1});
        secret = temp.File("outside/secret", std::string(40, 's'));
        temp.File("outside/dir/" + Id(2), std::string(40, 's'));
        temp.File("outside/dir/" + Id(3), std::string(40, 's'));
        temp.File("E/on-stick", std::string(40, 'k'));
    }

    fs::path KeyFolder(int n) const { return temp.Folder("E/dont_delete_" + Id(n)); }

    SLockKeyRead Read(const std::string& path) const
    {
        CLockKeyEntry entry(storage.system);
        entry.SetPath(path);
        return entry.ReadKeyChecked();
    }

    // Watches for opens (IN_OPEN also reports a folder listed) of everything given.
    void Watch(const std::vector<fs::path>& paths)
    {
        watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        for (const fs::path& path : paths) {
            ASSERT_GE(inotify_add_watch(watch, path.c_str(), IN_OPEN | IN_ACCESS | IN_DONT_FOLLOW), 0) << path;
        }
    }

    bool AnythingOpened() const
    {
        char events[4096];
        return read(watch, events, sizeof events) > 0;
    }

    ~StickRefusalTest() override
    {
        if (watch >= 0) {
            close(watch);
        }
    }

    CTempFolder temp;
    CTestStorage storage;
    fs::path secret;
    int watch = -1;
};

TEST_F(StickRefusalTest, NamesOffTheStickAreRefusedWithTheirReasonAndNeverOpened)
{
    fs::create_symlink(secret, KeyFolder(1) / Id(1));
    fs::create_symlink(temp.Path() / "outside" / "dir", temp.Path() / "E" / ("dont_delete_" + Id(2)));
    fs::create_symlink(temp.Path() / "outside" / "dir", KeyFolder(3) / "sub");
    fs::create_symlink("../on-stick", KeyFolder(4) / Id(4)); // a link that stays on the stick
    const fs::path fifo = KeyFolder(5) / Id(5);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const fs::path socketPath = KeyFolder(6) / Id(6);
    const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.string().size(), sizeof address.sun_path);
    socketPath.string().copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    const fs::path device = KeyFolder(7) / Id(7);
    const bool haveDevice = mknod(device.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
    std::vector<fs::path> watched = {temp.Path() / "outside", temp.Path() / "outside" / "dir", secret, fifo,
                                     temp.Path() / "E" / "on-stick"};
    if (haveDevice) {
        watched.push_back(device);
    }
    Watch(watched);

    const struct
    {
        std::string path;
        ELockKeyFault fault;
    } cases[] = {
        {KeyPath(1), ELockKeyFault::LinkedKeyFile},
        {KeyPath(2), ELockKeyFault::LinkedKeyFolder},
        {"E:\\dont_delete_" + Id(3) + "\\sub\\" + Id(3), ELockKeyFault::LinkedFolder},
        {KeyPath(4), ELockKeyFault::LinkedKeyFile},
        {KeyPath(5), ELockKeyFault::FifoOrSocket},
        {KeyPath(6), ELockKeyFault::FifoOrSocket},
        {KeyPath(7), haveDevice ? ELockKeyFault::DeviceNode : ELockKeyFault::NoKeyFile},
    };
    const auto faults = [&] {
        std::vector<int> found;
        for (const auto& c : cases) {
            const SLockKeyRead read = Read(c.path);
            found.push_back(static_cast<int>(read.record.HasKey() ? ELockKeyFault::None : read.fault));
        }
        return found;
    };
    std::vector<int> expectedFaults;
    for (const auto& c : cases) {
        expectedFaults.push_back(static_cast<int>(c.fault));
    }
    EXPECT_EQ(faults(), expectedFaults);
    // The same where the kernel has no openat2, one name at a time with O_NOFOLLOW.
    const std::vector<int> withoutOpenat2 = InChild(WithoutOpenat2, faults);
    EXPECT_FALSE(withoutOpenat2.empty()) << "seccomp filter refused";
    if (!withoutOpenat2.empty()) {
        EXPECT_EQ(withoutOpenat2, expectedFaults);
    }

    // The scan lists every refused key (the linked folder too, without looking into it),
    // so that its reason can be shown.
    CLockKeyScanner scanner(storage.system);
    scanner.Scan();
    std::vector<std::string> ids;
    for (size_t i = 0; i < scanner.GetCount(); ++i) {
        ids.push_back(scanner.GetEntry(i).GetId());
        EXPECT_FALSE(scanner.GetEntry(i).ReadKeyChecked().record.HasKey()) << ids.back();
    }
    std::sort(ids.begin(), ids.end());
    std::vector<std::string> expected = {Id(1), Id(2), Id(4), Id(5), Id(6)};
    if (haveDevice) {
        expected.push_back(Id(7));
    }
    EXPECT_EQ(ids, expected);
    EXPECT_FALSE(AnythingOpened());
    close(listener);
}

TEST_F(StickRefusalTest, ThePlainKeyBesideThemIsRead)
{
    fs::create_symlink(secret, KeyFolder(1) / Id(1));
    temp.File("E/dont_delete_" + Id(8) + "/" + Id(8), std::string(32, 'k'));
    const SLockKeyRead read = Read(KeyPath(8));
    EXPECT_EQ(read.fault, ELockKeyFault::None);
    EXPECT_TRUE(read.record.HasKey());
}

TEST_F(StickRefusalTest, KeysMountedOnTheStickAreRefusedFromAnyFileSystem)
{
    const fs::path keyFile = temp.File("E/dont_delete_" + Id(10) + "/" + Id(10), std::string(32, 'k'));
    const fs::path sameFileKey = temp.File("E/dont_delete_" + Id(12) + "/" + Id(12), std::string(32, 'k'));
    const fs::path elsewhere = temp.Folder("outside/tmpfs");
    // What a bind mount from the stick's own file system brings in: a folder and a key
    // file that lie outside the stick, on the same device.
    const fs::path sameFolder = temp.Folder("outside/same");
    temp.File("outside/same/" + Id(11), std::string(32, 's'));
    const fs::path sameFile = temp.File("outside/same-key", std::string(32, 's'));
    const std::vector<int> faults = InChild(OwnMountNamespace, [&]() -> std::vector<int> {
        const bool mounted = mount("tmpfs", KeyFolder(9).c_str(), "tmpfs", 0, "size=64k") == 0 &&
                             mount("tmpfs", elsewhere.c_str(), "tmpfs", 0, "size=64k") == 0 &&
                             mount(sameFolder.c_str(), KeyFolder(11).c_str(), nullptr, MS_BIND, nullptr) == 0 &&
                             mount(sameFile.c_str(), sameFileKey.c_str(), nullptr, MS_BIND, nullptr) == 0;
        if (!mounted) {
            return {};
        }
        temp.File("E/dont_delete_" + Id(9) + "/" + Id(9), std::string(32, 'k'));
        temp.File("outside/tmpfs/key", std::string(32, 'o'));
        if (mount((elsewhere / "key").c_str(), keyFile.c_str(), nullptr, MS_BIND, nullptr) != 0) {
            return {};
        }
        CLockKeyScanner scanner(storage.system);
        scanner.Scan();
        std::vector<int> found;
        for (const int key : {9, 10, 11, 12}) {
            found.push_back(static_cast<int>(Read(KeyPath(key)).fault));
        }
        found.push_back(static_cast<int>(scanner.GetCount()));
        return found;
    });
    if (faults.empty()) {
        GTEST_SKIP() << "needs root and a mount namespace of its own";
    }
    // A key folder that is a mount point of another file system or of the stick's own,
    // and a key file bind-mounted from either.
    const int off = static_cast<int>(ELockKeyFault::OffTheStick);
    EXPECT_EQ(faults, (std::vector<int>{off, off, off, off, 4}));
}

} // namespace
