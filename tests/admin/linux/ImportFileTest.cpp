// Files planted where an import is pointed at: each is refused at once, before a passphrase
// is asked and before the store is touched.
#include "BackupTest.h"

#include <sys/stat.h>
#include <unistd.h>

TEST_F(BackupTest, AnImportOfAPlantedFileIsRefusedBeforeThePassphrase)
{
    ASSERT_EQ(Run({"export", "--stdin", Export()}, kPassphrase), 0) << err;
    const std::string sealed = FileBytes(Export());
    const std::string fifo = m_exports.Path() + "/fifo.cvk";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string link = m_exports.Path() + "/link.cvk";
    ASSERT_EQ(symlink(Export().c_str(), link.c_str()), 0);
    const std::string zeroLink = m_exports.Path() + "/zero.cvk";
    ASSERT_EQ(symlink("/dev/zero", zeroLink.c_str()), 0);
    // Twelve passes at 1 GiB: sixteen times the default derivation.
    std::string costly = sealed;
    for (int i = 0; i < 8; ++i) {
        costly[12 + 7 - i] = static_cast<char>((uint64_t{12} >> (8 * i)) & 0xFF);
        costly[20 + 7 - i] = static_cast<char>(((uint64_t{1} << 30) >> (8 * i)) & 0xFF);
    }
    const std::string costlyFile = m_exports.Path() + "/costly.cvk";
    std::ofstream(costlyFile, std::ios::binary) << costly;
    const struct
    {
        std::string file;
        const char* said;
    } planted[] = {
        {fifo, "it is not a regular file"},
        {"/dev/zero", "it is not a regular file"},
        {m_exports.Path(), "it is not a regular file"},
        {link, "it is a symbolic link"},
        {zeroLink, "it is a symbolic link"},
        {costlyFile, "asks for a key derivation beyond what this program allows"},
    };
    const std::vector<std::string> before = Registered();
    terminal.interactive = true;
    for (const auto& test : planted) {
        terminal.asked.clear();
        terminal.typed = {kPassphrase};
        EXPECT_EQ(Run({"import", "--yes", test.file}), 1) << test.file;
        EXPECT_NE(err.find(test.said), std::string::npos) << test.file << ": " << err;
        EXPECT_NE(err.find("nothing imported"), std::string::npos) << err;
        EXPECT_TRUE(terminal.asked.empty()) << test.file << " asked: " << terminal.asked.front();
    }
    EXPECT_EQ(Registered(), before);
}
