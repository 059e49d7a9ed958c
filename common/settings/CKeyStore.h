#pragma once

#include "CKeyRecord.h"
#include "CRegistryKey.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The settings and the key list of the product branch. Holds nothing between calls:
// every operation opens the keys it needs and closes them again. Results are 1 or 0
// (or an empty text or map); nothing throws.
class CKeyStore
{
public:
    static constexpr const char* kCompanyPath = "SOFTWARE\\Quillon";
    static constexpr const char* kProductPath = "SOFTWARE\\Quillon\\CorvaneKeyServer";
    static constexpr const char* kConfigPath = "SOFTWARE\\Quillon\\CorvaneKeyServer\\Config";
    static constexpr const char* kKeyListPath = "SOFTWARE\\Quillon\\CorvaneKeyServer\\KeyList";
    static constexpr uint16_t kDefaultPort = 51056;
    static constexpr size_t kMaxPasswordLength = 20;

    CKeyStore() = default;
    virtual ~CKeyStore() = default;

    virtual int LayoutExists();
    virtual int CreateLayout();
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
    virtual CRegistryKey OpenConfigKey();
    virtual CRegistryKey OpenKeyListKey();
    virtual int RemoveLayout();

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
