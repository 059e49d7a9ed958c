#include "CKeyStore.h"
#include "KeyStoreParts.h"
#include "MachineText.h"

#include <sstream>
#include <string>

// The port and the cooperation password in "Config", and the store's contents as a whole.

using namespace KeyStoreParts;

uint16_t CKeyStore::ReadPort()
{
    return Guarded(uint16_t{0}, [] {
        CRegistryKey key;
        if (!OpenFull(key, kConfigPath)) {
            return uint16_t{0};
        }
        unsigned char bytes[4] = {};
        uint32_t length = sizeof bytes;
        if (key.QueryValue(kPortValue, bytes, &length, nullptr) != kErrorSuccess) {
            return uint16_t{0};
        }
        // Little-endian 32-bit number; the port is its low 16 bits.
        return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
    });
}

int CKeyStore::WritePort(int port)
{
    return Guarded(0, [port] {
        CRegistryKey key;
        if (!OpenFull(key, kConfigPath)) {
            return 0;
        }
        const auto value = static_cast<uint32_t>(port) & 0xFFFFu;
        const unsigned char bytes[4] = {static_cast<unsigned char>(value & 0xFF),
                                        static_cast<unsigned char>((value >> 8) & 0xFF), 0, 0};
        return key.SetValue(kPortValue, bytes, sizeof bytes, kRegDword) == kErrorSuccess ? 1 : 0;
    });
}

std::string CKeyStore::GetPortText()
{
    return Guarded(std::string("0"), [this] { return std::to_string(ReadPort()); });
}

int CKeyStore::SetPortFromText(std::string_view text)
{
    return Guarded(0, [this, text] {
        std::istringstream in{std::string(text)};
        int port = 0;
        if (!(in >> port) || in.peek() != std::istringstream::traits_type::eof()) {
            return 0;
        }
        return WritePort(port);
    });
}

std::string CKeyStore::ReadPassword()
{
    return Guarded(std::string(), [] {
        CRegistryKey key;
        if (!OpenFull(key, kConfigPath) || IdentityOf(key) == Identity::Foreign) {
            return std::string();
        }
        char bytes[kMaxPasswordLength] = {};
        uint32_t length = sizeof bytes;
        if (key.QueryValue(kPasswordValue, bytes, &length, nullptr) != kErrorSuccess) {
            return std::string();
        }
        std::string password(bytes, length);
        MaskPassword(password, GetMachineText(), false);
        return password;
    });
}

int CKeyStore::WritePassword(std::string_view text)
{
    return Guarded(0, [text] {
        // A longer text would be stored but read back as empty: refuse it instead.
        if (text.size() > kMaxPasswordLength) {
            return 0;
        }
        CRegistryKey key;
        if (!OpenFull(key, kConfigPath) || IdentityOf(key) == Identity::Foreign) {
            return 0;
        }
        std::string bytes(text);
        MaskPassword(bytes, GetMachineText(), true);
        return key.SetValue(kPasswordValue, bytes.data(), static_cast<uint32_t>(bytes.size()), kRegBinary) ==
                       kErrorSuccess
                   ? 1
                   : 0;
    });
}

int CKeyStore::ReadContents(SContents& contents)
{
    return Guarded(0, [this, &contents] {
        SContents read;
        if (CheckMachineIdentity() == Identity::Foreign || !ReadKeyList(read.keys)) {
            return 0;
        }
        read.port = ReadPort();
        read.password = ReadPassword();
        if (read.port == 0) {
            return 0;
        }
        contents = std::move(read);
        return 1;
    });
}
