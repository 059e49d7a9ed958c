// The test program's own main, with a helper mode for the tests that need a second
// process: the child runs one store action on the store named by CORVANE_STATE_DIR.
#include "StoreTestSupport.h"
#include "platform/StateDirectory.h"
#include "settings/CKeyStore.h"
#include "settings/CRegistryKey.h"
#include "settings/MachineText.h"

#include <fcntl.h>
#include <grp.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace {

void Report(const std::string& line)
{
    const std::string text = line + "\n";
    // One write a line: on a pipe or a file opened for appending, lines of two writers never
    // interleave.
    if (write(STDOUT_FILENO, text.data(), text.size()) < 0) {
        // No reader: nothing to tell.
    }
}

int StoreMany(const std::string& prefix, int tag, int count)
{
    CKeyStore store;
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        if (store.StoreKey(MakeRecord(prefix + std::to_string(i), KeyBytes(tag, i))) == 1) {
            Report(std::to_string(i));
        } else {
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}

// Many writes at once with another writer, then writes of one value in an order the
// parent can know: the lock spans the write and its report.
int Contend(int tag, int count, const std::string& lockFile)
{
    CKeyStore store;
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        failures +=
            store.StoreKey(MakeRecord("OWN" + std::to_string(tag) + "-" + std::to_string(i), KeyBytes(tag, i))) != 1;
        failures += store.StoreKey(MakeRecord("SHARED-" + std::to_string(i), KeyBytes(tag, i))) != 1;
    }
    const int lock = open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0) {
        return 2;
    }
    for (int j = 0; j < 20; ++j) {
        flock(lock, LOCK_EX);
        const int ok = store.StoreKey(MakeRecord("LAST", KeyBytes(tag, 1000 + j)));
        if (ok == 1) {
            Report(std::to_string(tag) + " " + std::to_string(1000 + j));
        }
        failures += ok != 1;
        flock(lock, LOCK_UN);
    }
    close(lock);
    return failures == 0 ? 0 : 1;
}

// Runs as an unprivileged user: every way into the store must be refused.
int Denied()
{
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) {
        return 100;
    }
    int result = 0;
    CKeyStore store;
    CRegistryKey key;
    result |= store.LayoutExists() != 0 ? 1 : 0;
    result |= key.Open(kHKeyLocalMachine, "SOFTWARE", kKeyRead) != kErrorAccessDenied ? 2 : 0;
    result |= store.ReadPort() != 0 ? 4 : 0;
    result |= !store.LoadKeyList().empty() ? 8 : 0;
    result |= store.StoreKey(MakeRecord("00A0B0C0D0E0", KeyBytes(1, 1))) != 0 ? 16 : 0;
    result |= store.CanWrite() != 0 ? 64 : 0;
    const std::string file = Platform::StateDirectory() + "/settings.db";
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    result |= fd >= 0 ? 32 : 0;
    if (fd >= 0) {
        close(fd);
    }
    return result;
}

} // namespace

int RunHelperMode(const std::vector<std::string>& args)
{
    SetMachineTextForTesting(std::string(kTestMachineText));
    CKeyStore store;
    const std::string& mode = args.empty() ? std::string() : args[0];
    auto arg = [&args](size_t i) { return i < args.size() ? args[i] : std::string(); };
    if (mode == "port") {
        return store.WritePort(std::stoi(arg(1))) == 1 ? 0 : 1;
    }
    if (mode == "store") {
        return store.StoreKey(MakeRecord(arg(1), KeyBytes(std::stoi(arg(2)), std::stoi(arg(3))))) == 1 ? 0 : 1;
    }
    if (mode == "delete") {
        return store.DeleteKey(arg(1)) == 1 ? 0 : 1;
    }
    if (mode == "subkey") {
        CRegistryKey key;
        return key.Open(kHKeyLocalMachine, arg(1), kKeyAllAccess) == 0 &&
                       key.CreateSubkey(arg(2), 0, nullptr, kKeyAllAccess, nullptr) == 0
                   ? 0
                   : 1;
    }
    if (mode == "setvalue") {
        return WriteRaw(arg(1), arg(2), arg(3), kRegBinary) ? 0 : 1;
    }
    if (mode == "deletesubkey") {
        CRegistryKey key;
        return key.Open(kHKeyLocalMachine, arg(1), kKeyAllAccess) == 0 && key.DeleteSubkey(arg(2)) == 0 ? 0 : 1;
    }
    if (mode == "store-many") {
        return StoreMany(arg(1), std::stoi(arg(2)), std::stoi(arg(3)));
    }
    if (mode == "contend") {
        return Contend(std::stoi(arg(1)), std::stoi(arg(2)), arg(3));
    }
    if (mode == "denied") {
        return Denied();
    }
    return 99;
}

int main(int argc, char** argv)
{
    if (argc >= 2 && std::string(argv[1]) == "--store-helper") {
        return RunHelperMode(std::vector<std::string>(argv + 2, argv + argc));
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
