#include "Packet.h"

namespace {

void PutWord(uint32_t word, uint8_t* out)
{
    out[0] = static_cast<uint8_t>(word >> 24);
    out[1] = static_cast<uint8_t>(word >> 16);
    out[2] = static_cast<uint8_t>(word >> 8);
    out[3] = static_cast<uint8_t>(word);
}

uint32_t GetWord(const uint8_t* in)
{
    return (uint32_t{in[0]} << 24) | (uint32_t{in[1]} << 16) | (uint32_t{in[2]} << 8) | uint32_t{in[3]};
}

} // namespace

void EncodeHeader(const PacketHeader& header, uint8_t (&out)[kHeaderSize])
{
    PutWord(header.type, out);
    PutWord(header.value, out + 4);
}

PacketHeader DecodeHeader(const uint8_t (&in)[kHeaderSize])
{
    return {GetWord(in), GetWord(in + 4)};
}

void EncodeStatus(const StatusBlock& block, uint8_t (&out)[kStatusBlockSize])
{
    for (uint8_t& byte : out) {
        byte = 0;
    }
    PutWord(block.status, out);
    PutWord(block.detail, out + 4);
    PutWord(block.reserved1, out + 8);
    PutWord(block.reserved2, out + 12);
}

StatusBlock DecodeStatus(const uint8_t (&in)[kStatusBlockSize])
{
    return {GetWord(in), GetWord(in + 4), GetWord(in + 8), GetWord(in + 12)};
}

void EncodeInt(int32_t value, uint8_t (&out)[kIntSize])
{
    PutWord(static_cast<uint32_t>(value), out);
}

int32_t DecodeInt(const uint8_t (&in)[kIntSize])
{
    return static_cast<int32_t>(GetWord(in));
}
