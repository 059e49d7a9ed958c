#pragma once

#include "CMaskBuffer.h"

#include <cstddef>
#include <string>
#include <string_view>

// One registration: the 32-byte lock key with the texts that mask it for storage, for
// transfer and on a lock-key stick. The ID and device ID are upper-cased on assignment.
// Copies carry everything but the transfer mask, which belongs to one transfer: a copy
// starts with an empty one and an assignment keeps the target's own.
class CKeyRecord
{
public:
    static constexpr size_t kKeyLength = 32;

    CKeyRecord() = default;
    CKeyRecord(const CKeyRecord& other);
    CKeyRecord& operator=(const CKeyRecord& other);
    ~CKeyRecord() = default;

    // Copies exactly kKeyLength bytes.
    void SetKey(const void* bytes) { key.Assign(bytes, kKeyLength); }
    void SetId(std::string_view text);
    void SetDeviceId(std::string_view text);
    void SetMachineText(std::string_view text) { machineText = text; }
    void SetTransferMask(const void* bytes, size_t count) { transferMask.Assign(bytes, count); }
    void SetTransferMask(std::string_view bytes) { SetTransferMask(bytes.data(), bytes.size()); }

    const CMaskBuffer& GetKey() const { return key; }
    const std::string& GetId() const { return id; }
    const std::string& GetDeviceId() const { return deviceId; }
    const std::string& GetMachineText() const { return machineText; }
    // A key whose length is not 32 (only a default record's) counts as no key.
    bool HasKey() const { return key.Length() == kKeyLength; }

    void SealForStorage();
    void OpenFromStorage();
    void SealForTransfer();
    // The key as SealForTransfer leaves it under the given mask; the record is unchanged.
    CMaskBuffer KeySealedForTransfer(std::string_view mask) const;
    void OpenFromTransfer();
    void OpenFromDevice();

private:
    CMaskBuffer key;
    std::string id;
    std::string deviceId;
    std::string machineText;
    CMaskBuffer transferMask;
};
