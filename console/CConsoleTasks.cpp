#include "CConsoleTasks.h"

#include "console/PasswordText.h"
#include "console/PortProbe.h"
#include "console/PortText.h"
#include "console/StoreAdministrator.h"
#include "console/lockkey/CLockKeyEntry.h"
#include "settings/CKeyStore.h"

#include <utility>

CConsoleTasks::CConsoleTasks(CKeyStore& store, PortChangedHook portChanged)
    : m_store(store), m_portChanged(std::move(portChanged))
{}

bool CConsoleTasks::MayChangeStore()
{
    return IsStoreAdministrator(m_store);
}

void CConsoleTasks::PrepareStore()
{
    m_store.Prepare();
}

bool CConsoleTasks::StoreIsForeign()
{
    return m_store.CheckMachineIdentity() == CKeyStore::Identity::Foreign;
}

std::vector<std::string> CConsoleTasks::ListRegistrations()
{
    return ReadRegistrations().value_or(std::vector<std::string>());
}

std::optional<std::vector<std::string>> CConsoleTasks::ReadRegistrations()
{
    std::map<std::string, CKeyRecord> list;
    if (m_store.ReadKeyList(list) != 1) {
        return std::nullopt;
    }
    std::vector<std::string> ids;
    for (const auto& entry : list) {
        ids.push_back(entry.first);
    }
    return ids;
}

bool CConsoleTasks::IsRegistered(const std::string& id)
{
    return m_store.LoadKeyList().contains(id);
}

ERegisterOutcome CConsoleTasks::RegisterLockKey(const CLockKeyEntry* entry, EReplace replace, ELockKeyFault* fault)
{
    if (fault != nullptr) {
        *fault = ELockKeyFault::None;
    }
    if (entry == nullptr) {
        return ERegisterOutcome::NothingSelected;
    }
    if (replace == EReplace::Ask && IsRegistered(entry->GetId())) {
        return ERegisterOutcome::AskToReplace;
    }
    const SLockKeyRead read = entry->ReadKeyChecked();
    if (fault != nullptr) {
        *fault = read.fault;
    }
    const CKeyRecord& record = read.record;
    if (!record.HasKey()) {
        return ERegisterOutcome::CorruptKey;
    }
    return m_store.StoreKey(record) == 1 ? ERegisterOutcome::Stored : ERegisterOutcome::WriteFailed;
}

SDeleteResult CConsoleTasks::DeleteRegistrations(const std::vector<std::string>& ids)
{
    SDeleteResult result;
    if (ids.empty()) {
        return result;
    }
    for (const std::string& id : ids) {
        if (id.empty()) {
            continue;
        }
        if (m_store.DeleteKey(id) != 1) {
            result.outcome = EDeleteOutcome::Failed;
            result.failedId = id;
            return result;
        }
        result.deleted.push_back(id);
    }
    result.outcome = EDeleteOutcome::Deleted;
    return result;
}

std::string CConsoleTasks::PortText()
{
    return m_store.GetPortText();
}

EPortOutcome CConsoleTasks::ChangePort(std::string_view text)
{
    if (text.empty()) {
        return EPortOutcome::Empty;
    }
    const std::optional<uint16_t> port = ParsePortSetting(text);
    if (!port) {
        return EPortOutcome::Invalid;
    }
    if (IsPortInUse(*port)) {
        return EPortOutcome::InUse;
    }
    if (m_store.SetPortFromText(text) != 1) {
        return EPortOutcome::WriteFailed;
    }
    if (m_portChanged) {
        m_portChanged(*port);
    }
    return EPortOutcome::Changed;
}

bool CConsoleTasks::IsCooperationPermitted()
{
    return !m_store.ReadPassword().empty();
}

std::string CConsoleTasks::CooperationPassword()
{
    return PasswordFromCodePage(m_store.ReadPassword());
}

EPasswordOutcome CConsoleTasks::ChangePassword(bool permit, std::string_view password, std::string_view confirmation)
{
    std::optional<std::string> bytes = std::string();
    if (permit) {
        bytes = PasswordToCodePage(password);
        const std::optional<std::string> confirmed = PasswordToCodePage(confirmation);
        // Compared as the bytes a peer compares; as typed when either has no such form.
        const bool same = bytes && confirmed ? *bytes == *confirmed : password == confirmation;
        if (!same) {
            return EPasswordOutcome::Mismatch;
        }
        if (password.empty()) {
            return EPasswordOutcome::Empty;
        }
        // Shown from stored bytes and left as it was: the same bytes again, even where the
        // text has no form of its own or another one.
        const std::string stored = m_store.ReadPassword();
        if (PasswordFromCodePage(stored) == password) {
            bytes = stored;
        }
    }
    if (!bytes) {
        return EPasswordOutcome::Unrepresentable;
    }
    if (bytes->size() > CKeyStore::kMaxPasswordLength) {
        return EPasswordOutcome::TooLong;
    }
    return m_store.WritePassword(*bytes) == 1 ? EPasswordOutcome::Changed : EPasswordOutcome::WriteFailed;
}

std::vector<CKeyRecord> CConsoleTasks::BuildCopySet(const std::vector<std::string>& ids)
{
    const std::map<std::string, CKeyRecord> list = m_store.LoadKeyList();
    std::vector<CKeyRecord> copySet;
    for (const std::string& id : ids) {
        const auto found = id.empty() ? list.end() : list.find(id);
        if (found != list.end()) {
            copySet.push_back(found->second);
        }
    }
    return copySet;
}

ECopyOutcome CConsoleTasks::CopyKeys(const std::vector<CKeyRecord>& copySet, const SCopyTarget& target)
{
    return ::CopyKeys(copySet, target);
}

SCopyResult CConsoleTasks::CopyKeysInParts(const std::vector<CKeyRecord>& copySet, const SCopyTarget& target,
                                           const CopyProgress& progress)
{
    return ::CopyKeysInParts(copySet, target, progress);
}

SFetchResult CConsoleTasks::FetchKeys(const std::vector<std::string>& ids, const SCopyTarget& source,
                                      const CopyProgress& progress)
{
    SFetchResult result = ::FetchKeys(ids, source, progress);
    const std::vector<int> stored = m_store.StoreKeys(result.keys);
    for (size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] != 1) {
            result.notStored.push_back(result.keys[i].GetId());
        }
    }
    return result;
}

std::unique_ptr<CKeyListWatcher> CConsoleTasks::WatchRegistrations(std::function<void()> changed)
{
    auto watcher = std::make_unique<CKeyListWatcher>(m_store, std::move(changed));
    watcher->Start();
    return watcher;
}
