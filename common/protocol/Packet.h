#pragma once

#include <cstddef>
#include <cstdint>

// The framing shared by both ends of a key-server connection: an 8-byte header (type,
// value), optionally followed by a payload. Every number travels big-endian.

enum PacketType : uint32_t
{
    PT_REQUEST = 1, // value: request code; no payload
    PT_DATA = 2,    // value: payload length
    PT_ACK = 3,     // value 0; never acknowledged
    PT_REJECT = 4,  // value 0; a PT_STATUS follows; never acknowledged
    PT_STATUS = 5,  // value 24; a status block follows
};

struct PacketHeader
{
    uint32_t type;
    uint32_t value;

    bool operator==(const PacketHeader& other) const = default;
};

struct StatusBlock
{
    uint32_t status;
    uint32_t detail;
    uint32_t reserved1;
    uint32_t reserved2;

    bool operator==(const StatusBlock& other) const = default;
};

// Request codes (the value of a PT_REQUEST header).
inline constexpr uint32_t REQ_CHECK = 1;
inline constexpr uint32_t REQ_GET_KEY = 16;
inline constexpr uint32_t REQ_FETCH_KEYS = 256;
inline constexpr uint32_t REQ_STORE_KEYS = 512;
// Between key servers of this kind only: peer sync over a sealed channel. Other servers
// acknowledge it and close, as they do for every code they do not know.
inline constexpr uint32_t REQ_PEER_SYNC = 0x53594E43;

// Status and detail codes; the pairs sent are (0, 0), (1, 0), (2, 1), (2, 4), (4, 2).
inline constexpr uint32_t ST_OK = 0;
inline constexpr uint32_t ST_UNSUPPORTED = 1;
inline constexpr uint32_t ST_EXEC_ERROR = 2;
inline constexpr uint32_t ST_AUTH_ERROR = 4;
inline constexpr uint32_t DT_KEY_NOT_FOUND = 1;
inline constexpr uint32_t DT_BAD_PASSWORD = 2;
inline constexpr uint32_t DT_STORE_FAILED = 4;

inline constexpr size_t kHeaderSize = 8;
inline constexpr size_t kIntSize = 4;
inline constexpr size_t kStatusBlockSize = 24;

// Limits against a peer that announces absurd sizes: a single data item (both ends), all
// items one service connection receives taken together, and the count of a key list in
// one request. Each item counts its payload plus kItemOverhead, what holding it costs
// besides its bytes (a push of 10,000 keys under 12-character IDs still fits).
inline constexpr size_t kMaxDataLength = 65536;
inline constexpr size_t kMaxRequestItems = 1024 * 1024;
inline constexpr size_t kItemOverhead = 24;
inline constexpr int32_t kMaxItemCount = 65536;

// Code of every packet and request layer error (CSocketError).
inline constexpr int32_t kPacketErrorCode = 10;

void EncodeHeader(const PacketHeader& header, uint8_t (&out)[kHeaderSize]);
PacketHeader DecodeHeader(const uint8_t (&in)[kHeaderSize]);

// All 24 bytes are written: the four words, then 8 zero bytes.
void EncodeStatus(const StatusBlock& block, uint8_t (&out)[kStatusBlockSize]);
StatusBlock DecodeStatus(const uint8_t (&in)[kStatusBlockSize]);

void EncodeInt(int32_t value, uint8_t (&out)[kIntSize]);
int32_t DecodeInt(const uint8_t (&in)[kIntSize]);
