#pragma once

#include "AdminTest.h"
#include "settings/MachineText.h"

#include <fstream>
#include <sstream>

inline constexpr const char* kPassphrase = "a long passphrase\n";

inline std::string FileBytes(const std::string& path)
{
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

// A store of three registrations, a port and a cooperation password; exports go to a
// folder of the test.
class BackupTest : public AdminTest
{
protected:
    BackupTest()
    {
        for (unsigned char seed = 1; seed <= 3; ++seed) {
            Register("00A0B0C0D0E" + std::to_string(seed), seed);
        }
        EXPECT_EQ(store.WritePort(4321), 1);
        EXPECT_EQ(store.WritePassword("coop"), 1);
    }
    ~BackupTest() override { SetMachineTextForTesting(std::nullopt); }

    std::string Export() { return m_exports.Path() + "/keys.cvk"; }

    CScratchFolder m_exports;
};
