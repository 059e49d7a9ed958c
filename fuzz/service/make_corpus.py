#!/usr/bin/env python3
"""Writes the seed corpus of service_fuzzer: one file per request sequence a peer may send.
Byte 0 of a file seeds the chunking of reads and writes (0: whole reads); the rest is the
peer's bytes, ACKs included, as the service expects them. Run from this directory."""
import os
import struct

PASSWORD = b"coop-pass"


def header(kind, value):
    return struct.pack(">II", kind, value)


def data(payload):
    return header(2, len(payload)) + payload


def integer(value):
    return header(2, 4) + struct.pack(">i", value)


ACK = header(3, 0)


def request(code):
    return header(1, code)


def masked_password(password, mask):
    out = bytearray(password)
    for i in range(min(len(password), len(mask))):
        out[i] = (out[i] + mask[i]) % 256
    return bytes(out)


def seal(key, ident, mask):
    out = bytearray(key)
    for i in range(32):
        out[i] = (out[i] + ident[i % len(ident)] + mask[i % len(mask)]) % 256
    return bytes(out)


MASK = bytes(range(0x40, 0x60))
SEEDS = {
    "check": request(1) + ACK,
    "get_key": request(16) + data(b"00A0B0C0D0E0") + data(MASK) + ACK + ACK,
    "get_key_unknown": request(16) + data(b"00a0b0c0d0e0") + data(b"\x01") + ACK,
    "fetch_keys": request(256) + data(masked_password(PASSWORD, MASK)) + integer(2)
    + data(b"0123456789AB") + data(b"A") + data(MASK) + ACK + ACK + ACK + ACK,
    "fetch_keys_miss": request(256) + data(masked_password(PASSWORD, MASK)) + integer(2)
    + data(b"A") + data(b"FFFFFFFFFFFF") + data(MASK) + ACK + ACK + ACK,
    "fetch_keys_none": request(256) + data(masked_password(PASSWORD, MASK)) + integer(0) + data(MASK) + ACK + ACK,
    "fetch_keys_bad_password": request(256) + data(b"wrong") + integer(1) + data(b"A") + data(MASK) + ACK,
    "store_keys": request(512) + data(masked_password(PASSWORD, MASK)) + integer(2)
    + data(b"00a0b0c0d0e1") + data(seal(bytes(range(32)), b"00A0B0C0D0E1", MASK))
    + data(b"00A0B0C0D0E2") + data(b"short key") + data(MASK) + ACK + ACK,
    "store_keys_bad_password": request(512) + data(b"coop-pasS") + integer(1)
    + data(b"B") + data(bytes(32)) + data(MASK) + ACK,
    "not_a_request": integer(4) + ACK,
    "unknown_request": request(3),
    "negative_count": request(256) + data(b"x") + integer(-1),
    "int_size": request(512) + data(b"x") + header(2, 8) + bytes(8),
    "empty_item": request(16) + header(2, 0),
}


def main():
    os.makedirs("corpus", exist_ok=True)
    for name, body in SEEDS.items():
        with open(os.path.join("corpus", name), "wb") as seed:
            seed.write(b"\x00" + body)
    # The same exchanges cut into small pieces.
    for name in ("get_key", "fetch_keys", "store_keys"):
        with open(os.path.join("corpus", name + "_chunked"), "wb") as seed:
            seed.write(b"\x07" + SEEDS[name])


if __name__ == "__main__":
    main()
