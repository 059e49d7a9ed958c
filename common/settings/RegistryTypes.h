#pragma once

#include <cstdint>
#include <span>
#include <string_view>

// Handles, access masks, value types and result codes of the settings store. The numbers
// are those of the Windows registry, so that results read the same on every platform.

// An open key of the settings store; 0 means none.
using RegistryHandle = std::uintptr_t;

// The local-machine root, a predefined handle that is always open.
inline constexpr RegistryHandle HKEY_LOCAL_MACHINE = 0x80000002u;

// Access rights.
inline constexpr uint32_t KEY_QUERY_VALUE = 0x0001;
inline constexpr uint32_t KEY_SET_VALUE = 0x0002;
inline constexpr uint32_t KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr uint32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr uint32_t KEY_NOTIFY = 0x0010;
inline constexpr uint32_t KEY_CREATE_LINK = 0x0020;
inline constexpr uint32_t KEY_DELETE = 0x00010000;
inline constexpr uint32_t KEY_WRITE_DAC = 0x00040000;
inline constexpr uint32_t KEY_WRITE_OWNER = 0x00080000;
inline constexpr uint32_t KEY_READ = 0x00020019;
inline constexpr uint32_t KEY_WRITE = 0x00020006;
inline constexpr uint32_t KEY_ALL_ACCESS = 0x000F003F;
// Rights that need a store this process may write.
inline constexpr uint32_t KEY_WRITE_RIGHTS =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | KEY_DELETE | KEY_WRITE_DAC | KEY_WRITE_OWNER;

// Value types.
inline constexpr uint32_t REG_NONE = 0;
inline constexpr uint32_t REG_SZ = 1;
inline constexpr uint32_t REG_BINARY = 3;
inline constexpr uint32_t REG_DWORD = 4;

// Dispositions of a create.
inline constexpr uint32_t REG_CREATED_NEW_KEY = 1;
inline constexpr uint32_t REG_OPENED_EXISTING_KEY = 2;

// Change-notification filters.
inline constexpr uint32_t REG_NOTIFY_CHANGE_NAME = 1;
inline constexpr uint32_t REG_NOTIFY_CHANGE_LAST_SET = 4;

// Result codes.
inline constexpr int32_t ERROR_SUCCESS = 0;
inline constexpr int32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr int32_t ERROR_ACCESS_DENIED = 5;
inline constexpr int32_t ERROR_INVALID_HANDLE = 6;
inline constexpr int32_t ERROR_WRITE_FAULT = 29;
inline constexpr int32_t ERROR_NOT_SUPPORTED = 50;
inline constexpr int32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr int32_t ERROR_MORE_DATA = 234;
inline constexpr int32_t ERROR_ALREADY_EXISTS = 183;
inline constexpr int32_t ERROR_NO_MORE_ITEMS = 259;
inline constexpr int32_t ERROR_BADDB = 1009;
inline constexpr int32_t ERROR_REGISTRY_IO_FAILED = 1016;
inline constexpr int32_t ERROR_KEY_DELETED = 1018;

// Names longer than this cannot be stored.
inline constexpr uint32_t kMaxRegistryNameLength = 512;

// One value of a write of several values of one key at once.
struct RegistryValue
{
    std::string_view name;
    uint32_t type = REG_NONE;
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
