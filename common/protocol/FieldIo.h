#pragma once

#include "Packet.h"
#include "net/CSocketError.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// Whole-field reads and writes over a socket whose calls may move fewer bytes than asked.
// Both ends use them, each with its own one-call Read or Write.

// Reads until length bytes arrived or the peer closed; returns the count read.
template <typename ReadFn> size_t ReadFully(ReadFn&& read, void* buffer, size_t length)
{
    auto* next = static_cast<uint8_t*>(buffer);
    size_t received = 0;
    while (received < length) {
        const int count = read(next + received, static_cast<int>(std::min<size_t>(length - received, INT_MAX)));
        if (count <= 0) {
            break;
        }
        received += static_cast<size_t>(count);
    }
    return received;
}

// A payload cut short by the peer's close must not reach a caller as a shorter item.
template <typename ReadFn> void ReadPayloadFully(ReadFn&& read, void* buffer, size_t length)
{
    if (ReadFully(read, buffer, length) < length) {
        throw ZiRez::CSocketError("Socket Read Error!", 3);
    }
}

template <typename WriteFn> void WriteFully(WriteFn&& write, const void* bytes, size_t length)
{
    const auto* next = static_cast<const uint8_t*>(bytes);
    while (length != 0) {
        const int sent = write(next, static_cast<int>(std::min<size_t>(length, INT_MAX)));
        if (sent <= 0) {
            throw ZiRez::CSocketError("CBaseSocket::Send: SendData Error!", 2);
        }
        next += sent;
        length -= static_cast<size_t>(sent);
    }
}

// Header and payload leave in one write, so a small packet is one segment on the wire;
// with ackFirst an ACK owed to the peer goes in front of it in the same write.
template <typename WriteFn>
void WritePacketFully(WriteFn&& write, const PacketHeader& header, const void* payload, size_t length,
                      bool ackFirst = false)
{
    // The packets of a request are small: they are put together on the stack.
    constexpr size_t kOnStack = 128;
    uint8_t small[kOnStack];
    std::vector<uint8_t> large;
    const size_t size = (ackFirst ? kHeaderSize : 0) + kHeaderSize + length;
    uint8_t* packet = small;
    if (size > kOnStack) {
        large.resize(size);
        packet = large.data();
    }
    uint8_t* next = packet;
    uint8_t encoded[kHeaderSize];
    if (ackFirst) {
        EncodeHeader({PT_ACK, 0}, encoded);
        next = std::copy(encoded, encoded + kHeaderSize, next);
    }
    EncodeHeader(header, encoded);
    next = std::copy(encoded, encoded + kHeaderSize, next);
    if (length > 0) {
        std::memcpy(next, payload, length);
    }
    WriteFully(write, packet, size);
}
