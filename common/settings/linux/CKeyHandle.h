#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One open handle of the SQLite store: the key's row, its folded path, the access it was
// opened with, and the enumeration snapshots (taken at index 0 or first use, so that
// enumerating by index costs one query per pass rather than one per index).
struct CKeyHandle
{
    // Rows of the keys every store begins with, which exist before the store does.
    static constexpr int64_t kRootKeyId = 1;
    static constexpr int64_t kSoftwareKeyId = 2;
    static bool Predefined(int64_t keyId) { return keyId == kRootKeyId || keyId == kSoftwareKeyId; }

    // Names and data of a value snapshot live in one buffer, so that a snapshot of
    // thousands of values costs a handful of allocations.
    struct Value
    {
        size_t nameOffset;
        uint32_t nameLength;
        uint32_t type;
        size_t dataOffset;
        uint32_t dataLength;
    };
    struct Subkey
    {
        std::string name;
        int64_t written;
    };

    CKeyHandle(int64_t key, std::string foldedPath, uint32_t accessMask)
        : keyId(key), path(std::move(foldedPath)), access(accessMask)
    {}

    int64_t keyId;
    std::string path;
    uint32_t access;
    bool valuesLoaded = false;
    std::vector<Value> values;
    std::string valueBytes;

    std::string_view ValueName(const Value& v) const { return {valueBytes.data() + v.nameOffset, v.nameLength}; }
    std::string_view ValueData(const Value& v) const { return {valueBytes.data() + v.dataOffset, v.dataLength}; }
    bool subkeysLoaded = false;
    std::vector<Subkey> subkeys;
};
