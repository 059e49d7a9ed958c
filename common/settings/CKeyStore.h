#pragma once

#include "CRegistryKey.h"
#include "StoreCondition.h"
#include "keys/CKeyRecord.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The settings and the key list of the product branch. Holds nothing between calls:
// every operation opens the keys it needs and closes them again. Results are 1 or 0
// (or an empty text or map); nothing throws.
//
// Keys and the password are masked with the machine text, so a store used on another
// machine (or after the machine's identity changed) would hand out wrong keys. The store
// keeps a verifier of the text it was made with in "Config": while it names another
// machine, no key or password is read or written.
class CKeyStore
{
public:
    static constexpr const char* kCompanyPath = "SOFTWARE\\Quillon";
    static constexpr const char* kProductPath = "SOFTWARE\\Quillon\\CorvaneKeyServer";
    static constexpr const char* kConfigPath = "SOFTWARE\\Quillon\\CorvaneKeyServer\\Config";
    static constexpr const char* kKeyListPath = "SOFTWARE\\Quillon\\CorvaneKeyServer\\KeyList";
    // Peer sync's: the peers, and the ledger of versions with its conflicts.
    static constexpr const char* kPeersPath = "SOFTWARE\\Quillon\\CorvaneKeyServer\\Peers";
    static constexpr const char* kSyncPath = "SOFTWARE\\Quillon\\CorvaneKeyServer\\Sync";
    static constexpr const char* kVerifierValue = "MachineCheck";
    static constexpr uint16_t kDefaultPort = 51056;
    static constexpr size_t kMaxPasswordLength = 20;

    // Whose machine text the store's keys are masked with, as its verifier tells.
    enum class Identity
    {
        Matches,    // this machine's
        Foreign,    // another machine's (or this one's before its identity changed)
        Unverified, // no verifier yet: a store made before it was kept, or not made yet
        Unknown,    // the store cannot be read
    };

    // Everything an export carries: the port, the cooperation password and every key,
    // unmasked.
    struct SContents
    {
        uint16_t port = kDefaultPort;
        std::string password;
        std::map<std::string, CKeyRecord> keys;
    };

    CKeyStore() = default;
    virtual ~CKeyStore() = default;

    virtual int LayoutExists();
    // Writes the verifier of this machine's text too, unless "Config" has one already.
    virtual int CreateLayout();
    // Readies the store for this process to serve or change it: creates the layout where
    // one of its keys is missing, and gives a store without a verifier one once its key
    // list reads. 0 when that fails or the store belongs to another machine identity.
    virtual int Prepare();
    virtual Identity CheckMachineIdentity();
    // What keeps this process from reading the store, or from changing it; changes nothing.
    virtual StoreCondition Inspect(bool forWriting);
    // 0 without writing for an empty ID and for one the store cannot hold (NUL inside,
    // more than 512 bytes).
    virtual int StoreKey(const CKeyRecord& record);
    // StoreKey for every record, all in one change: one result per record, in order. A
    // record StoreKey would refuse gets 0 and the others are stored; when the change
    // fails, every result is 0 and nothing is stored.
    virtual std::vector<int> StoreKeys(const std::vector<CKeyRecord>& records);
    virtual int DeleteKey(std::string_view id);
    // ID (as enumerated) to record, keys unmasked; empty when "KeyList" cannot be opened.
    virtual std::map<std::string, CKeyRecord> LoadKeyList();
    // The same list into list, telling a failure from an empty list: 1 when it was read
    // (also when there is no "KeyList", which holds no keys then), 0 when the store
    // failed, leaving list as it was.
    virtual int ReadKeyList(std::map<std::string, CKeyRecord>& list);
    virtual uint16_t ReadPort();
    virtual int WritePort(int port);
    virtual std::string GetPortText();
    virtual int SetPortFromText(std::string_view text);
    virtual std::string ReadPassword();
    // 0 without writing for a text longer than 20 bytes (it could not be read back).
    virtual int WritePassword(std::string_view text);
    // Everything into contents; 0 (contents unchanged) when the store cannot be read or
    // belongs to another machine identity.
    virtual int ReadContents(SContents& contents);
    // Writes the contents in one change, all or nothing: the port, the password, and the
    // keys, each replacing a registration of its ID. With replaceAll every other
    // registration is deleted and the store becomes this machine's (for a store of
    // another machine identity, which is refused otherwise).
    virtual int Restore(const SContents& contents, bool replaceAll);
    virtual CRegistryKey OpenConfigKey();
    virtual CRegistryKey OpenKeyListKey();
    virtual int RemoveLayout();
    // Keeps a copy of the whole store beside it (before it is removed): a new file named
    // with the UTC date and time, settings-2026-12-08T233826Z.db (a registry hive, .hiv, on
    // Windows), readable by its owner only. The keys in it stay masked with this machine's
    // identity, so it restores this machine's store. 1 with path set; 0 when no copy was
    // made (none is left behind).
    virtual int KeepCopy(std::string& path);

    // A number that changes whenever anything at or below "KeyList" changes, in any
    // process, including the creation or deletion of "KeyList" or of the product key.
    // Take it before loading the list. 0 when the store cannot be read.
    virtual uint64_t KeyListVersion();
    // A number that every change of the store, by any process, moves before the change
    // returns (a cheap first look before KeyListVersion); 0 when unknown.
    virtual uint64_t ChangeCount();

    // 1 when this process may change the store (it can be opened for writing and a write
    // transaction can begin); writes no key and no value.
    virtual int CanWrite();
};
