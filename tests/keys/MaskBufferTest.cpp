#include "keys/AsciiCase.h"
#include "keys/CMaskBuffer.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(const CMaskBuffer& buffer)
{
    return {buffer.Data(), buffer.Data() + buffer.Length()};
}

TEST(MaskBuffer, AssignCopiesGivesZerosForAbsentBytesAndEmptyForZeroCount)
{
    const uint8_t source[] = {1, 2, 3};
    EXPECT_EQ(Bytes(CMaskBuffer(source, 3)), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(Bytes(CMaskBuffer(nullptr, 4)), (std::vector<uint8_t>{0, 0, 0, 0}));
    EXPECT_TRUE(CMaskBuffer(source, 0).Empty());
    CMaskBuffer reused(source, 3);
    reused.Assign(nullptr, 2);
    EXPECT_EQ(Bytes(reused), (std::vector<uint8_t>{0, 0}));
}

TEST(MaskBuffer, AddWrapsModulo256OverTheShorterLength)
{
    struct Case
    {
        std::vector<uint8_t> self, other, added;
    };
    const Case cases[] = {
        {{0xFF, 0x10, 0x00}, {0x02, 0x20, 0x01}, {0x01, 0x30, 0x01}},
        // The shorter operand is not repeated.
        {{1, 1, 1, 1}, {5, 6}, {6, 7, 1, 1}},
        {{1, 2}, {1, 1, 1, 1}, {2, 3}},
        {{9, 9}, {}, {9, 9}},
    };
    for (const Case& c : cases) {
        CMaskBuffer sum(c.self.data(), c.self.size());
        sum.Add(CMaskBuffer(c.other.data(), c.other.size()));
        EXPECT_EQ(Bytes(sum), c.added);
    }
}

TEST(MaskBuffer, StreamsRepeatOverTheWholeBufferAndSkipEmptyInput)
{
    CMaskBuffer buffer(nullptr, 5);
    buffer.AddStream("ab");
    EXPECT_EQ(Bytes(buffer), (std::vector<uint8_t>{'a', 'b', 'a', 'b', 'a'}));
    buffer.SubtractStream("ab");
    EXPECT_EQ(Bytes(buffer), std::vector<uint8_t>(5, 0));

    buffer.AddStream("");
    buffer.AddStream(nullptr, 0);
    EXPECT_EQ(Bytes(buffer), std::vector<uint8_t>(5, 0));

    CMaskBuffer empty;
    empty.AddStream("xyz");
    empty.SubtractStream("xyz");
    EXPECT_TRUE(empty.Empty());
}

TEST(AsciiCase, OnlyLettersAToZChange)
{
    const std::string mixed("aZ09-_\x7f\xe4\xfc\x00q", 10);
    EXPECT_EQ(UpperAscii(mixed), std::string("AZ09-_\x7f\xe4\xfc\x00Q", 10));
    EXPECT_EQ(LowerAscii(mixed), std::string("az09-_\x7f\xe4\xfc\x00q", 10));
}

} // namespace
