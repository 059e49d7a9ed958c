#pragma once

#include "settings/CSettingsStore.h"

#include <memory>
#include <mutex>
#include <string>

class CRegistryChangeCount;

// The settings store on Windows: the registry itself. Handles are the registry's own key
// handles; the local-machine root is HKEY_LOCAL_MACHINE, or a key below it that stands in
// for it (tests keep a private branch there). The registry has no transactions here, so a
// write of several values restores what it replaced when one of them fails; a crash part
// way leaves the values written so far. A reader sees each value whole, old or new (a key
// list that mixes registrations before and after a push, never a key masked wrong: the
// callers write a verifier after the keys it vouches for). Copies of the branch are
// registry hives in the program data folder, where the service's log is.
class CWin32RegistryStore : public CSettingsStore
{
public:
    // machineRoot: empty for HKEY_LOCAL_MACHINE, else a path below it (created when
    // missing) that stands in for the local-machine root of every call. copyFolder: where
    // copies go; empty for the state directory (%ProgramData%\Quillon\CorvaneKeyServer).
    explicit CWin32RegistryStore(std::string machineRoot = {}, std::string copyFolder = {});
    ~CWin32RegistryStore() override;
    CWin32RegistryStore(const CWin32RegistryStore&) = delete;
    CWin32RegistryStore& operator=(const CWin32RegistryStore&) = delete;

    int32_t OpenKey(RegistryHandle root, std::string_view path, uint32_t access, RegistryHandle* out) override;
    int32_t CloseKey(RegistryHandle key) override;
    int32_t FlushKey(RegistryHandle key) override;
    int32_t CreateKey(RegistryHandle parent, std::string_view path, uint32_t options, uint32_t access,
                      RegistryHandle* out, uint32_t* disposition) override;
    int32_t DeleteKey(RegistryHandle parent, std::string_view name) override;
    int32_t SetValue(RegistryHandle key, std::string_view name, uint32_t type, const void* bytes,
                     uint32_t length) override;
    int32_t SetValues(RegistryHandle key, std::span<const RegistryValue> values) override;
    int32_t WriteValues(std::span<const RegistryKeyWrite> writes) override;
    int32_t QueryValue(RegistryHandle key, std::string_view name, uint32_t* type, void* buffer,
                       uint32_t* length) override;
    int32_t DeleteValue(RegistryHandle key, std::string_view name) override;
    int32_t EnumKey(RegistryHandle key, uint32_t index, char* nameOut, uint32_t nameCapacity, uint32_t* nameLength,
                    char* className, uint32_t* classLength, RegistryFileTime* lastWrite) override;
    int32_t EnumValue(RegistryHandle key, uint32_t index, char* nameOut, uint32_t nameCapacity, uint32_t* nameLength,
                      uint32_t* type, void* data, uint32_t* dataLength) override;
    int32_t NotifyChange(RegistryHandle key, bool watchSubtree, uint32_t filter, Platform::CEvent* event) override;
    // The registry keeps no version of a subtree: the change count of the whole product
    // branch stands for it while a notification watches the branch (so that a writer that
    // died before counting its change is counted all the same), else 0 (unknown).
    uint64_t SubtreeVersion(std::string_view path, std::string_view existencePath) override;
    // Moved by every change this store makes, in any process, before the call returns;
    // changes made without it are counted a moment later (see CRegistryChangeCount).
    uint64_t ChangeCount() override;
    int32_t CheckWriteAccess() override;
    StoreCondition Inspect(bool forWriting) override;
    // The product branch saved as a registry hive (RegSaveKeyEx; reg restore puts it back)
    // into name.hiv in the copy folder, for administrators only.
    int32_t CopyBeside(std::string_view name, std::string* path) override;

    // How the administrator names the product branch ("HKLM\SOFTWARE\...").
    std::string ProductBranchName() const;
    std::string CopyFolder() const;

private:
    RegistryHandle Root(RegistryHandle root) const;
    // Counts a change that was made (or tried: a failed write may have changed part).
    int32_t Counted(int32_t code);

    std::string m_rootPath;
    std::string m_copyFolder;
    RegistryHandle m_root = 0;
    // Writes of several values at once do not interleave within this process.
    std::mutex m_writeLock;
    std::unique_ptr<CRegistryChangeCount> m_changes;
};
