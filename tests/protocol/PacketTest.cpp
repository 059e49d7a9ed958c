#include "protocol/Packet.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

TEST(Packet, HeaderIsTwoBigEndianWords)
{
    uint8_t bytes[kHeaderSize];
    EncodeHeader({PT_DATA, 0x01020304}, bytes);
    const uint8_t expected[] = {0, 0, 0, 2, 1, 2, 3, 4};
    EXPECT_EQ(std::memcmp(bytes, expected, sizeof expected), 0);
    EXPECT_EQ(DecodeHeader(bytes), (PacketHeader{PT_DATA, 0x01020304}));
    const uint8_t high[kHeaderSize] = {0xFF, 0xFE, 0xFD, 0xFC, 0x80, 0, 0, 1};
    EXPECT_EQ(DecodeHeader(high), (PacketHeader{0xFFFEFDFC, 0x80000001}));
}

TEST(Packet, StatusBlockIsZeroFilledToTwentyFourBytes)
{
    uint8_t bytes[kStatusBlockSize];
    std::memset(bytes, 0xAA, sizeof bytes);
    EncodeStatus({ST_EXEC_ERROR, DT_STORE_FAILED, 0, 0}, bytes);
    const uint8_t expected[kStatusBlockSize] = {0, 0, 0, 2, 0, 0, 0, 4};
    EXPECT_EQ(std::memcmp(bytes, expected, sizeof expected), 0);
    const uint8_t received[kStatusBlockSize] = {0, 0, 0, 4, 0, 0, 0, 2, 0, 0, 0, 7, 0, 0, 1, 0, 9, 9, 9, 9};
    EXPECT_EQ(DecodeStatus(received), (StatusBlock{4, 2, 7, 256}));
}

TEST(Packet, IntegersAreSignedBigEndian)
{
    const struct
    {
        int32_t value;
        uint8_t bytes[kIntSize];
    } cases[] = {
        {2, {0, 0, 0, 2}},
        {-1, {0xFF, 0xFF, 0xFF, 0xFF}},
        {INT32_MIN, {0x80, 0, 0, 0}},
        {0x12345678, {0x12, 0x34, 0x56, 0x78}},
    };
    for (const auto& c : cases) {
        uint8_t bytes[kIntSize];
        EncodeInt(c.value, bytes);
        EXPECT_EQ(std::memcmp(bytes, c.bytes, kIntSize), 0) << c.value;
        EXPECT_EQ(DecodeInt(c.bytes), c.value);
    }
}

} // namespace
