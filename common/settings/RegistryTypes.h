#pragma once

#include <cstdint>
#include <span>
#include <string_view>

// Handles, access masks, value types and result codes of the settings store. The numbers
// are those of the Windows registry, so that results read the same on every platform.

// An open key of the settings store; 0 means none.
using RegistryHandle = std::uintptr_t;

// The local-machine root, a predefined handle that is always open.
inline constexpr RegistryHandle kHKeyLocalMachine = 0x80000002u;

// Access rights.
inline constexpr uint32_t kKeyQueryValue = 0x0001;
inline constexpr uint32_t kKeySetValue = 0x0002;
inline constexpr uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr uint32_t kKeyNotify = 0x0010;
inline constexpr uint32_t kKeyCreateLink = 0x0020;
inline constexpr uint32_t kKeyDelete = 0x00010000;
inline constexpr uint32_t kKeyWriteDac = 0x00040000;
inline constexpr uint32_t kKeyWriteOwner = 0x00080000;
inline constexpr uint32_t kKeyRead = 0x00020019;
inline constexpr uint32_t kKeyAllAccess = 0x000F003F;
// Rights that need a store this process may write.
inline constexpr uint32_t kKeyWriteRights =
    kKeySetValue | kKeyCreateSubKey | kKeyCreateLink | kKeyDelete | kKeyWriteDac | kKeyWriteOwner;

// Value types.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;

// Dispositions of a create.
inline constexpr uint32_t kRegCreatedNewKey = 1;
inline constexpr uint32_t kRegOpenedExistingKey = 2;

// Change-notification filters.
inline constexpr uint32_t kRegNotifyChangeName = 1;
inline constexpr uint32_t kRegNotifyChangeLastSet = 4;

// Result codes.
inline constexpr int32_t kErrorSuccess = 0;
inline constexpr int32_t kErrorFileNotFound = 2;
inline constexpr int32_t kErrorAccessDenied = 5;
inline constexpr int32_t kErrorInvalidHandle = 6;
inline constexpr int32_t kErrorWriteFault = 29;
inline constexpr int32_t kErrorNotSupported = 50;
inline constexpr int32_t kErrorInvalidParameter = 87;
inline constexpr int32_t kErrorMoreData = 234;
inline constexpr int32_t kErrorAlreadyExists = 183;
inline constexpr int32_t kErrorNoMoreItems = 259;
inline constexpr int32_t kErrorBadDb = 1009;
inline constexpr int32_t kErrorRegistryIoFailed = 1016;
inline constexpr int32_t kErrorKeyDeleted = 1018;

// Names longer than this cannot be stored.
inline constexpr uint32_t kMaxRegistryNameLength = 512;

// One value of a write of several values of one key at once.
struct RegistryValue
{
    std::string_view name;
    uint32_t type = kRegNone;
    const void* bytes = nullptr;
    uint32_t length = 0;
};

// What one change of several keys writes to one of them: its values, after deleting every
// value the key held when replaceAll is set.
struct RegistryKeyWrite
{
    RegistryHandle key = 0;
    bool replaceAll = false;
    std::span<const RegistryValue> values;
};

// Last-write time of a key: 100-nanosecond intervals since 1601-01-01 UTC, split in halves.
struct RegistryFileTime
{
    uint32_t lowDateTime = 0;
    uint32_t highDateTime = 0;
};
