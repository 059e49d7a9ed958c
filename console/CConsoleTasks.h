#pragma once

#include "console/CKeyListWatcher.h"
#include "console/KeyCopy.h"
#include "console/KeyFetch.h"
#include "keys/CKeyRecord.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CKeyStore;
class CLockKeyEntry;
enum class ELockKeyFault;

enum class ERegisterOutcome
{
    NothingSelected, // no lock key chosen
    AskToReplace,    // the ID is registered; ask, then call again with EReplace::Allowed
    CorruptKey,      // the key file holds no 32-byte key (missing, short, unreadable)
    WriteFailed,     // the store refused the key; nothing changed
    Stored,
};

enum class EReplace
{
    Ask,
    Allowed,
};

enum class EDeleteOutcome
{
    NothingSelected, // no ID given
    Deleted,         // every ID given was deleted (empty texts are skipped)
    Failed,          // stopped at failedId; the IDs after it were not touched
};

struct SDeleteResult
{
    EDeleteOutcome outcome = EDeleteOutcome::NothingSelected;
    std::vector<std::string> deleted;
    std::string failedId;
};

enum class EPortOutcome
{
    Empty,       // nothing entered
    Invalid,     // not exactly the decimal text of a number from 1 to 65535
    InUse,       // another program holds the port
    WriteFailed, // the store refused it; the old port stays
    Changed,
};

enum class EPasswordOutcome
{
    Mismatch,        // password and confirmation differ
    Empty,           // permission chosen without a password
    Unrepresentable, // a character code page 932 cannot represent; nothing stored
    TooLong,         // more than 20 bytes in code page 932; nothing stored
    WriteFailed,     // the store refused it; the old password stays
    Changed,
};

// Called with the new port after every successful port change (the program connects the
// opening of the firewall to it).
using PortChangedHook = std::function<void(uint16_t port)>;

// Every task of the console as a step that returns its outcome rather than a message, on the
// key store of this computer (local work never goes over the network) and, for the copy, on
// another key server. The dialogs turn outcomes into messages, a terminal tool into lines.
class CConsoleTasks
{
public:
    explicit CConsoleTasks(CKeyStore& store, PortChangedHook portChanged = {});

    // Administrator: may this process change the store? Writes nothing.
    bool MayChangeStore();
    // Creates the branch when any of its keys is missing (see CKeyStore::Prepare); a failure
    // shows later as an empty list, port 0 and no cooperation.
    void PrepareStore();
    // The store's keys were masked for another machine identity: none can be read here.
    bool StoreIsForeign();

    // Registered IDs in ascending byte order.
    std::vector<std::string> ListRegistrations();
    // The same, or nullopt when the store cannot be read (an empty list is no failure).
    std::optional<std::vector<std::string>> ReadRegistrations();
    // With fault given, it receives why a key that was read cannot be registered (CorruptKey,
    // and WriteFailed for a lock key without an ID); None otherwise.
    ERegisterOutcome RegisterLockKey(const CLockKeyEntry* entry, EReplace replace, ELockKeyFault* fault = nullptr);
    // In the order given, stopping at the first failure.
    SDeleteResult DeleteRegistrations(const std::vector<std::string>& ids);

    // The stored port as decimal text; "0" when it cannot be read.
    std::string PortText();
    EPortOutcome ChangePort(std::string_view text);

    bool IsCooperationPermitted();
    // The stored cooperation password as text to show (UTF-8).
    std::string CooperationPassword();
    // Typed texts (UTF-8). Without permission the password is withdrawn and the texts are
    // ignored. A password that reads the same as the stored one is stored again byte for
    // byte.
    EPasswordOutcome ChangePassword(bool permit, std::string_view password, std::string_view confirmation);

    // The records of the given IDs that are still registered, in the order given (empty
    // texts skipped); empty means there is nothing to copy.
    std::vector<CKeyRecord> BuildCopySet(const std::vector<std::string>& ids);
    ECopyOutcome CopyKeys(const std::vector<CKeyRecord>& copySet, const SCopyTarget& target);
    // The copy in as many requests as the target's limits need, with the keys it confirmed.
    SCopyResult CopyKeysInParts(const std::vector<CKeyRecord>& copySet, const SCopyTarget& target,
                                const CopyProgress& progress);
    // Takes the keys of the IDs from another key server into this store, in one change; the
    // keys received stay stored whatever happened after them.
    SFetchResult FetchKeys(const std::vector<std::string>& ids, const SCopyTarget& source,
                           const CopyProgress& progress);

    // A running watcher that calls changed (on its own thread) about one second after each
    // change of the registrations, whoever made it.
    std::unique_ptr<CKeyListWatcher> WatchRegistrations(std::function<void()> changed);

private:
    bool IsRegistered(const std::string& id);

    CKeyStore& m_store;
    PortChangedHook m_portChanged;
};
