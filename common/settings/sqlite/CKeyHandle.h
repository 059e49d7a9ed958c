#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// One open handle of the SQLite store: the key's row, its folded path, the access it was
// opened with, and the enumeration snapshots (taken at index 0 or first use, so that
// enumerating by index costs one query per pass rather than one per index).
struct CKeyHandle
{
    struct Value
    {
        std::string name;
        uint32_t type;
        std::string data;
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
    bool subkeysLoaded = false;
    std::vector<Subkey> subkeys;
};
