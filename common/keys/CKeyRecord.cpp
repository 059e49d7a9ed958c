#include "CKeyRecord.h"

#include "AsciiCase.h"

CKeyRecord::CKeyRecord(const CKeyRecord& other)
    : key(other.key), id(other.id), deviceId(other.deviceId), machineText(other.machineText)
{}

CKeyRecord& CKeyRecord::operator=(const CKeyRecord& other)
{
    if (this != &other) {
        key = other.key;
        id = other.id;
        deviceId = other.deviceId;
        machineText = other.machineText;
    }
    return *this;
}

void CKeyRecord::SetId(std::string_view text)
{
    id = UpperAscii(text);
}

void CKeyRecord::SetDeviceId(std::string_view text)
{
    deviceId = UpperAscii(text);
}

void CKeyRecord::SealForStorage()
{
    key.AddStream(id);
    key.AddStream(machineText);
}

void CKeyRecord::OpenFromStorage()
{
    key.SubtractStream(machineText);
    key.SubtractStream(id);
}

void CKeyRecord::SealForTransfer()
{
    key = KeySealedForTransfer(transferMask.View());
}

CMaskBuffer CKeyRecord::KeySealedForTransfer(std::string_view mask) const
{
    CMaskBuffer sealed(key);
    sealed.AddStream(id);
    sealed.AddStream(mask);
    return sealed;
}

void CKeyRecord::OpenFromTransfer()
{
    key.SubtractStream(transferMask.Data(), transferMask.Length());
    key.SubtractStream(id);
}

void CKeyRecord::OpenFromDevice()
{
    key.SubtractStream(deviceId);
    key.SubtractStream(id);
}
