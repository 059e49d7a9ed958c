// What corvane-admin does with a store it cannot use: it says what is wrong and changes no
// file, whatever it was asked.
#include "AdminTest.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

// Every file below the folder with its mode and bytes; "absent" when there is no folder.
std::map<std::string, std::string> Snapshot(const std::string& folder)
{
    std::map<std::string, std::string> files;
    if (!fs::exists(folder)) {
        files["."] = "absent";
        return files;
    }
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        struct stat info
        {};
        lstat(entry.path().c_str(), &info);
        std::ostringstream bytes;
        bytes << std::oct << info.st_mode << ":";
        if (entry.is_regular_file()) {
            bytes << std::ifstream(entry.path(), std::ios::binary).rdbuf();
        }
        files[entry.path().string()] = bytes.str();
    }
    return files;
}

TEST(AdminStoreState, ReadingAStoreThatIsMissingEmptyOrDamagedChangesNoFile)
{
    Harness::CTempDir root;
    struct Setup
    {
        const char* name;
        std::string contents; // of settings.db; "none" for no file, "no folder" for no folder
        const char* said;
    };
    const Setup setups[] = {
        {"no folder", "no folder", "there is no key store at"},
        {"empty folder", "none", "there is no key store at"},
        {"0-byte file", "", "is empty (it is 0 bytes long)"},
        {"garbage", std::string(4096, '\x5a'), "is damaged or no key store"},
        {"a database header only", std::string("SQLite format 3\0", 16) + std::string(84, '\0'),
         "is damaged or no key store"},
    };
    const std::vector<std::string> reads[] = {{"list"}, {"status"}, {"port"}, {"password"}};
    for (const Setup& setup : setups) {
        const std::string folder = root.Path() + "/" + setup.name;
        if (setup.contents != "no folder") {
            fs::create_directory(folder);
            fs::permissions(folder, fs::perms::owner_all);
        }
        if (setup.contents != "no folder" && setup.contents != "none") {
            std::ofstream(folder + "/settings.db", std::ios::binary) << setup.contents;
        }
        const auto before = Snapshot(folder);
        for (const auto& args : reads) {
            const SProgramRun run = RunAdminProgram(folder, args);
            EXPECT_EQ(run.status, 1) << setup.name << ": " << args.front();
            EXPECT_NE(run.err.find(setup.said), std::string::npos) << setup.name << ": " << run.err;
            EXPECT_EQ(Snapshot(folder), before) << setup.name << ": " << args.front();
        }
    }
}

TEST(AdminStoreState, AnEmptyStateDirectoryVariableIsAUsageErrorAndAnOpenFolderIsRefused)
{
    const SProgramRun empty = RunAdminProgram("", {"list"});
    EXPECT_EQ(empty.status, 2);
    EXPECT_EQ(empty.err, "corvane-admin: CORVANE_STATE_DIR is set but empty: unset it for the service's store, or "
                         "name a directory\n");

    Harness::CTempDir root;
    const std::string folder = root.Path() + "/state";
    ASSERT_EQ(Harness::StoreTool(folder, {"layout"}), 0);
    fs::permissions(folder, fs::perms::all);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"list"}, {"port", "8080"}}) {
        const SProgramRun run = RunAdminProgram(folder, args);
        EXPECT_EQ(run.status, 1) << args.front();
        EXPECT_EQ(run.err, "corvane-admin: the key store's folder " + folder +
                               " is refused: its mode is 0777, so others could replace the store; make it "
                               "owner-only (chmod 0700 " +
                               folder + ") and owned by " +
                               (geteuid() == 0 ? "root (chown root: " : "you (chown $(id -un): ") + folder + ")\n")
            << args.front();
    }
}

} // namespace
