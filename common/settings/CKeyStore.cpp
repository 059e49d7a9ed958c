#include "CKeyStore.h"

#include "CSettingsStore.h"
#include "KeyStoreParts.h"
#include "MachineText.h"
#include "MachineVerifier.h"

#include <ctime>
#include <string>

using namespace KeyStoreParts;

namespace {

// Opens parent with full access and creates (or opens) its child with full access.
bool CreateBelow(const char* parent, const char* child)
{
    CRegistryKey key;
    return OpenFull(key, parent) && key.CreateSubkey(child, 0, nullptr, kKeyAllAccess, nullptr) == kErrorSuccess;
}

// An ID with a NUL inside or over 512 bytes cannot be a value name; a record without 32
// key bytes has nothing to store.
bool Storable(const CKeyRecord& record)
{
    const std::string& id = record.GetId();
    return !id.empty() && id.size() <= kMaxRegistryNameLength && id.find('\0') == std::string::npos && record.HasKey();
}

// Names come in folded order, which for IDs is byte order: with the hint each insertion
// is constant time; a name out of order is still placed right, and an equal name reaches
// the existing record, which is then overwritten.
void AddRecord(std::map<std::string, CKeyRecord>& list, const std::string& name,
               const unsigned char (&bytes)[CKeyRecord::kKeyLength], const std::string& machineText)
{
    const size_t before = list.size();
    auto inserted = list.try_emplace(list.end(), name);
    CKeyRecord& record = inserted->second;
    if (list.size() == before) {
        record = CKeyRecord();
    }
    record.SetKey(bytes);
    record.SetId(name);
    record.SetMachineText(machineText);
    record.OpenFromStorage();
}

// The KeyList values of the storable records, sealed for storage with the machine text; the
// values refer into buffers of their own. stored lists the records written, in order.
class CSealedKeys
{
public:
    template <typename Records, typename RecordOf> CSealedKeys(const Records& records, RecordOf recordOf)
    {
        CKeyRecord working;
        working.SetMachineText(GetMachineText());
        std::vector<size_t> nameLengths;
        size_t index = 0;
        for (const auto& entry : records) {
            const CKeyRecord& record = recordOf(entry);
            if (Storable(record)) {
                working.SetKey(record.GetKey().Data());
                working.SetId(record.GetId());
                working.SealForStorage();
                m_names += working.GetId();
                m_keys.append(reinterpret_cast<const char*>(working.GetKey().Data()), CKeyRecord::kKeyLength);
                nameLengths.push_back(record.GetId().size());
                stored.push_back(index);
            }
            ++index;
        }
        // Both buffers are complete: the views into them stay valid.
        size_t nameOffset = 0;
        values.reserve(stored.size());
        for (size_t n = 0; n < stored.size(); ++n) {
            values.push_back(RegistryValue{std::string_view(m_names).substr(nameOffset, nameLengths[n]), kRegBinary,
                                           m_keys.data() + n * CKeyRecord::kKeyLength,
                                           static_cast<uint32_t>(CKeyRecord::kKeyLength)});
            nameOffset += nameLengths[n];
        }
    }

    std::vector<RegistryValue> values;
    std::vector<size_t> stored;

private:
    std::string m_names;
    std::string m_keys;
};

// Keys and the password may be unmasked and masked unless the store names another machine.
bool OwnIdentity()
{
    CRegistryKey config;
    const int32_t code = config.Open(kHKeyLocalMachine, CKeyStore::kConfigPath, kKeyAllAccess);
    return code != kErrorSuccess || IdentityOf(config) != CKeyStore::Identity::Foreign;
}

int WriteVerifier(CRegistryKey& config)
{
    const std::string verifier = MachineVerifier::Make(GetMachineText());
    return config.SetValue(CKeyStore::kVerifierValue, verifier.data(), static_cast<uint32_t>(verifier.size()),
                           kRegBinary) == kErrorSuccess
               ? 1
               : 0;
}

} // namespace

int CKeyStore::LayoutExists()
{
    return Guarded(0, [] {
        for (const char* path : {kProductPath, kConfigPath, kKeyListPath}) {
            CRegistryKey key;
            if (!OpenFull(key, path)) {
                return 0;
            }
        }
        return 1;
    });
}

int CKeyStore::CreateLayout()
{
    return Guarded(0, [this] {
        if (!CreateBelow("SOFTWARE", "Quillon") || !CreateBelow(kCompanyPath, "CorvaneKeyServer") ||
            !CreateBelow(kProductPath, "Config") || !CreateBelow(kProductPath, "KeyList")) {
            return 0;
        }
        if (!WritePort(kDefaultPort)) {
            return 0;
        }
        // A verifier already there stays: it may tell of another machine's keys.
        CRegistryKey config;
        return OpenFull(config, kConfigPath) && (IdentityOf(config) != Identity::Unverified || WriteVerifier(config))
                   ? 1
                   : 0;
    });
}

int CKeyStore::Prepare()
{
    return Guarded(0, [this] {
        if (!LayoutExists()) {
            return CreateLayout();
        }
        CRegistryKey config;
        if (!OpenFull(config, kConfigPath)) {
            return 0;
        }
        switch (IdentityOf(config)) {
        case Identity::Matches:
            return 1;
        case Identity::Unverified: {
            // Made before stores kept a verifier: its keys were masked with this machine's
            // text as far as can be told, so the store becomes this machine's.
            std::map<std::string, CKeyRecord> list;
            return ReadKeyList(list) && WriteVerifier(config) ? 1 : 0;
        }
        case Identity::Foreign:
        case Identity::Unknown:
            break;
        }
        return 0;
    });
}

CKeyStore::Identity CKeyStore::CheckMachineIdentity()
{
    return Guarded(Identity::Unknown, [] {
        CRegistryKey config;
        const int32_t code = config.Open(kHKeyLocalMachine, kConfigPath, kKeyAllAccess);
        if (code == kErrorFileNotFound) {
            return Identity::Unverified;
        }
        return code == kErrorSuccess ? IdentityOf(config) : Identity::Unknown;
    });
}

StoreCondition CKeyStore::Inspect(bool forWriting)
{
    return Guarded(StoreCondition{StoreProblem::Failed, {}, {}},
                   [forWriting] { return SettingsStore().Inspect(forWriting); });
}

int CKeyStore::StoreKey(const CKeyRecord& record)
{
    return Guarded(0, [this, &record] { return StoreKeys({record}).front(); });
}

std::vector<int> CKeyStore::StoreKeys(const std::vector<CKeyRecord>& records)
{
    std::vector<int> results(records.size(), 0);
    Guarded(0, [&records, &results] {
        const CSealedKeys sealed(records, [](const CKeyRecord& record) -> const CKeyRecord& { return record; });
        CRegistryKey key;
        if (sealed.stored.empty() || !OwnIdentity() || !OpenFull(key, kKeyListPath) ||
            key.SetValues(sealed.values) != kErrorSuccess) {
            return 0;
        }
        for (const size_t i : sealed.stored) {
            results[i] = 1;
        }
        return 1;
    });
    return results;
}

int CKeyStore::DeleteKey(std::string_view id)
{
    return Guarded(0, [id] {
        CRegistryKey key;
        return OpenFull(key, kKeyListPath) && key.DeleteValue(id) == kErrorSuccess ? 1 : 0;
    });
}

std::map<std::string, CKeyRecord> CKeyStore::LoadKeyList()
{
    std::map<std::string, CKeyRecord> list;
    ReadKeyList(list);
    return list;
}

int CKeyStore::ReadKeyList(std::map<std::string, CKeyRecord>& out)
{
    return Guarded(0, [&out] {
        std::map<std::string, CKeyRecord> list;
        CRegistryKey key;
        const int32_t opened = key.Open(kHKeyLocalMachine, kKeyListPath, kKeyAllAccess);
        if ((opened != kErrorSuccess && opened != kErrorFileNotFound) || !OwnIdentity()) {
            return 0;
        }
        const std::string machineText = GetMachineText();
        // Names and data come from one snapshot of the key. A value that does not fit in
        // 32 bytes is skipped, and so is a value without a name (no ID is empty): ending
        // the list there, as an empty name from a name-only enumeration would, would hide
        // every key after it.
        for (int32_t index = 0; opened == kErrorSuccess; ++index) {
            unsigned char bytes[CKeyRecord::kKeyLength] = {};
            uint32_t length = sizeof bytes;
            const int32_t code = key.EnumValue(index, bytes, &length, nullptr);
            if (code == kErrorMoreData) {
                continue;
            }
            if (code == kErrorNoMoreItems) {
                break;
            }
            if (code != kErrorSuccess) {
                return 0;
            }
            const std::string name = key.GetValueName();
            if (!name.empty()) {
                AddRecord(list, name, bytes, machineText);
            }
        }
        out = std::move(list);
        return 1;
    });
}

int CKeyStore::Restore(const SContents& contents, bool replaceAll)
{
    return Guarded(0, [this, &contents, replaceAll] {
        if (contents.password.size() > kMaxPasswordLength || (!LayoutExists() && !CreateLayout())) {
            return 0;
        }
        CRegistryKey config;
        CRegistryKey keyList;
        if (!OpenFull(config, kConfigPath) || !OpenFull(keyList, kKeyListPath)) {
            return 0;
        }
        const Identity identity = IdentityOf(config);
        if (identity == Identity::Unknown || (identity == Identity::Foreign && !replaceAll)) {
            return 0;
        }
        const CSealedKeys sealed(contents.keys, [](const auto& entry) -> const CKeyRecord& { return entry.second; });
        if (sealed.stored.size() != contents.keys.size()) {
            return 0; // all or nothing: a record that cannot be stored stores none
        }
        const unsigned char port[4] = {static_cast<unsigned char>(contents.port & 0xFF),
                                       static_cast<unsigned char>(contents.port >> 8), 0, 0};
        std::string password = contents.password;
        MaskPassword(password, GetMachineText(), true);
        const std::string verifier = MachineVerifier::Make(GetMachineText());
        std::vector<RegistryValue> settings = {
            {kPortValue, kRegDword, port, sizeof port},
            {kPasswordValue, kRegBinary, password.data(), static_cast<uint32_t>(password.size())},
        };
        if (identity != Identity::Matches) {
            settings.push_back({kVerifierValue, kRegBinary, verifier.data(), static_cast<uint32_t>(verifier.size())});
        }
        // The keys before the verifier, which comes last: where the change is not one
        // transaction (the registry) and stops part way, another machine's store is not
        // yet taken for this one's while its old keys are still there.
        const RegistryKeyWrite writes[] = {
            {keyList.GetHandle(), replaceAll, sealed.values},
            {config.GetHandle(), false, settings},
        };
        return SettingsStore().WriteValues(writes) == kErrorSuccess ? 1 : 0;
    });
}

CRegistryKey CKeyStore::OpenConfigKey()
{
    CRegistryKey key;
    OpenFull(key, kConfigPath);
    return key;
}

CRegistryKey CKeyStore::OpenKeyListKey()
{
    CRegistryKey key;
    OpenFull(key, kKeyListPath);
    return key;
}

int CKeyStore::RemoveLayout()
{
    return Guarded(0, [] {
        CRegistryKey company;
        if (!OpenFull(company, kCompanyPath)) {
            return 0;
        }
        // The keys before the verifier: a store left without its "Config" reads as this
        // machine's, so another machine's keys must never outlive it. Then peer sync's keys,
        // and last the product key, which a key nobody expects keeps.
        for (const char* child : {"CorvaneKeyServer\\KeyList", "CorvaneKeyServer\\Config"}) {
            if (company.DeleteSubkey(child) != kErrorSuccess) {
                return 0;
            }
        }
        return DeleteTree(kPeersPath) && DeleteTree(kSyncPath) &&
                       company.DeleteSubkey("CorvaneKeyServer") == kErrorSuccess
                   ? 1
                   : 0;
    });
}

int CKeyStore::KeepCopy(std::string& path)
{
    return Guarded(0, [&path] {
        const std::time_t now = std::time(nullptr);
        char name[64];
        const std::tm* utc = std::gmtime(&now);
        if (utc == nullptr || std::strftime(name, sizeof name, "settings-%Y-%m-%dT%H%M%SZ", utc) == 0) {
            return 0;
        }
        return SettingsStore().CopyBeside(name, &path) == kErrorSuccess ? 1 : 0;
    });
}

uint64_t CKeyStore::ChangeCount()
{
    return Guarded(uint64_t{0}, [] { return SettingsStore().ChangeCount(); });
}

uint64_t CKeyStore::KeyListVersion()
{
    return Guarded(uint64_t{0}, [] { return SettingsStore().SubtreeVersion(kKeyListPath, kProductPath); });
}

int CKeyStore::CanWrite()
{
    return Guarded(0, [] { return SettingsStore().CheckWriteAccess() == kErrorSuccess ? 1 : 0; });
}
