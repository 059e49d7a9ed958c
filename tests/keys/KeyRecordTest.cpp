#include "keys/CKeyRecord.h"

#include <gtest/gtest.h>
#include <string>

namespace {

std::string KeyOf(const CKeyRecord& record)
{
    return std::string(record.GetKey().View());
}

std::string Pattern()
{
    std::string key(32, '\0');
    for (int i = 0; i < 32; ++i) {
        key[i] = static_cast<char>(i * 37 + 11);
    }
    return key;
}

TEST(KeyRecord, IdsAreUpperCasedOnAssignmentAndKeysCopyExactly32Bytes)
{
    CKeyRecord record;
    EXPECT_FALSE(record.HasKey());
    record.SetId("00a0b0c0d0e0");
    record.SetDeviceId("usb\\vid_abcd&pid_0001\\ser-xy");
    EXPECT_EQ(record.GetId(), "00A0B0C0D0E0");
    EXPECT_EQ(record.GetDeviceId(), "USB\\VID_ABCD&PID_0001\\SER-XY");

    std::string longer = Pattern() + "EXTRA";
    record.SetKey(longer.data());
    EXPECT_TRUE(record.HasKey());
    EXPECT_EQ(KeyOf(record), Pattern());
}

TEST(KeyRecord, CopiesCarryEverythingButTheTransferMask)
{
    CKeyRecord source;
    source.SetKey(Pattern().data());
    source.SetId("ab");
    source.SetDeviceId("dev");
    source.SetMachineText("mt");
    source.SetTransferMask("mask");

    const CKeyRecord copy(source);
    EXPECT_EQ(KeyOf(copy), Pattern());
    EXPECT_EQ(copy.GetId(), "AB");
    EXPECT_EQ(copy.GetDeviceId(), "DEV");
    EXPECT_EQ(copy.GetMachineText(), "mt");
    CKeyRecord sealedCopy(copy);
    sealedCopy.SealForTransfer();
    EXPECT_EQ(sealedCopy.GetKey(), source.KeySealedForTransfer("")) << "a copy starts without a transfer mask";

    CKeyRecord target;
    target.SetTransferMask("own");
    target = source;
    EXPECT_EQ(target.GetId(), "AB");
    target.SealForTransfer();
    EXPECT_EQ(target.GetKey(), source.KeySealedForTransfer("own")) << "an assignment keeps the target's mask";
}

// Each sealing step adds the texts byte-wise and cyclically; opening subtracts them.
TEST(KeyRecord, MasksFollowTheByteArithmeticAndOpenWhatTheySeal)
{
    const std::string key = Pattern();
    CKeyRecord record;
    record.SetKey(key.data());
    record.SetId("a1b");
    record.SetMachineText("Zq");
    record.SetTransferMask(std::string_view("\x01\xff\x80\x7f\x00", 5));
    record.SetDeviceId("dev-9");

    auto expected = [&key](const std::string& first, const std::string& second, int sign) {
        std::string out = key;
        for (size_t i = 0; i < out.size(); ++i) {
            int v = static_cast<unsigned char>(out[i]);
            if (!first.empty()) {
                v += sign * static_cast<unsigned char>(first[i % first.size()]);
            }
            if (!second.empty()) {
                v += sign * static_cast<unsigned char>(second[i % second.size()]);
            }
            out[i] = static_cast<char>(v & 0xFF);
        }
        return out;
    };

    record.SealForStorage();
    EXPECT_EQ(KeyOf(record), expected("A1B", "Zq", 1));
    record.OpenFromStorage();
    EXPECT_EQ(KeyOf(record), key);

    record.SealForTransfer();
    EXPECT_EQ(KeyOf(record), expected("A1B", std::string("\x01\xff\x80\x7f\x00", 5), 1));
    record.OpenFromTransfer();
    EXPECT_EQ(KeyOf(record), key);

    record.OpenFromDevice();
    EXPECT_EQ(KeyOf(record), expected("DEV-9", "A1B", -1));
}

TEST(KeyRecord, EmptyTextsLeaveTheKeyAndAKeylessRecordStaysKeyless)
{
    const std::string key = Pattern();
    CKeyRecord record;
    record.SetKey(key.data());
    record.SealForStorage();
    record.SealForTransfer();
    record.OpenFromDevice();
    EXPECT_EQ(KeyOf(record), key);

    CKeyRecord keyless;
    keyless.SetId("X");
    keyless.SetMachineText("M");
    keyless.SealForStorage();
    EXPECT_FALSE(keyless.HasKey());
}

} // namespace
