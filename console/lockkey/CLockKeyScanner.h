#pragma once

#include "console/lockkey/CLockKeyEntry.h"
#include "console/lockkey/CStorageSystem.h"

#include <cstddef>
#include <string>
#include <vector>

// The lock keys on the drives C to Z as they were at the last scan, in the order found.
class CLockKeyScanner
{
public:
    explicit CLockKeyScanner(const CStorageSystem& system = CStorageSystem::Default()) : m_system(&system) {}

    void Scan();

    size_t GetCount() const { return m_entries.size(); }
    const CLockKeyEntry& GetEntry(size_t index) const { return m_entries.at(index); }
    std::string GetDisplayText(size_t index) const { return GetEntry(index).GetDisplayText(); }

private:
    const CStorageSystem* m_system;
    std::vector<CLockKeyEntry> m_entries;
};
