#include "SealedExport.h"

#include <sodium.h>
#include <stdexcept>
#include <vector>

namespace SealedExport {

namespace {

using Stream = crypto_secretstream_xchacha20poly1305_state;

constexpr std::string_view kMagic{"CORVKEY\n", 8};
constexpr uint8_t kArgon2id = 1;
constexpr size_t kSaltLength = crypto_pwhash_SALTBYTES;
// Magic, version, derivation, reserved, operations, memory, salt: the additional data.
constexpr size_t kFixedLength = 8 + 2 + 1 + 1 + 8 + 8 + kSaltLength;
constexpr size_t kHeaderLength = kFixedLength + crypto_secretstream_xchacha20poly1305_HEADERBYTES;
constexpr size_t kChunk = 64 * 1024;
constexpr size_t kMaxCipherChunk = kChunk + crypto_secretstream_xchacha20poly1305_ABYTES;
// What an export may ask of the machine that opens it: no more than four times the
// default cost, in passes, in memory, and in both together.
constexpr uint64_t kCostFactor = 4;
constexpr uint64_t kMaxOps = kCostFactor * crypto_pwhash_OPSLIMIT_MODERATE;
constexpr uint64_t kMaxMemory = kCostFactor * crypto_pwhash_MEMLIMIT_MODERATE;
constexpr uint64_t kMaxWork = kCostFactor * crypto_pwhash_OPSLIMIT_MODERATE * crypto_pwhash_MEMLIMIT_MODERATE;

static_assert(kSaltLength == 16);

void Ready()
{
    if (sodium_init() < 0) {
        throw std::runtime_error("the cryptographic library cannot start");
    }
}

void PutBig(std::string& out, uint64_t value, int bytes)
{
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

uint64_t GetBig(std::string_view in, size_t offset, int bytes)
{
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value = (value << 8) | static_cast<uint8_t>(in[offset + static_cast<size_t>(i)]);
    }
    return value;
}

const unsigned char* Bytes(std::string_view text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}

// The key of the stream, wiped when it goes.
class CStreamKey
{
public:
    CStreamKey() = default;
    ~CStreamKey() { sodium_memzero(m_key, sizeof m_key); }
    CStreamKey(const CStreamKey&) = delete;
    CStreamKey& operator=(const CStreamKey&) = delete;

    bool Derive(std::string_view passphrase, std::string_view salt, uint64_t ops, size_t memory)
    {
        return crypto_pwhash(m_key, sizeof m_key, passphrase.data(), passphrase.size(), Bytes(salt), ops, memory,
                             crypto_pwhash_ALG_ARGON2ID13) == 0;
    }
    const unsigned char* Get() const { return m_key; }

private:
    unsigned char m_key[crypto_secretstream_xchacha20poly1305_KEYBYTES] = {};
};

} // namespace

SKdfCost DefaultCost()
{
    return {crypto_pwhash_OPSLIMIT_MODERATE, crypto_pwhash_MEMLIMIT_MODERATE};
}

SKdfCost LeastCost()
{
    return {crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN};
}

std::string Seal(std::string_view plain, std::string_view passphrase, const SKdfCost& cost)
{
    Ready();
    std::string sealed(kMagic);
    PutBig(sealed, kFormatVersion, 2);
    sealed.push_back(static_cast<char>(kArgon2id));
    sealed.push_back('\0');
    PutBig(sealed, cost.opsLimit, 8);
    PutBig(sealed, cost.memLimit, 8);
    std::string salt(kSaltLength, '\0');
    randombytes_buf(salt.data(), salt.size());
    sealed += salt;

    CStreamKey key;
    if (!key.Derive(passphrase, salt, cost.opsLimit, cost.memLimit)) {
        throw std::runtime_error("not enough memory to derive the key from the passphrase");
    }
    Stream stream;
    unsigned char header[crypto_secretstream_xchacha20poly1305_HEADERBYTES];
    crypto_secretstream_xchacha20poly1305_init_push(&stream, header, key.Get());
    sealed.append(reinterpret_cast<const char*>(header), sizeof header);

    const std::string additional = sealed.substr(0, kFixedLength);
    std::vector<unsigned char> cipher(kMaxCipherChunk);
    size_t offset = 0;
    do {
        const size_t length = std::min(kChunk, plain.size() - offset);
        const bool last = offset + length == plain.size();
        unsigned long long cipherLength = 0;
        crypto_secretstream_xchacha20poly1305_push(
            &stream, cipher.data(), &cipherLength, Bytes(plain) + offset, length, Bytes(additional), additional.size(),
            last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
        PutBig(sealed, cipherLength, 4);
        sealed.append(reinterpret_cast<const char*>(cipher.data()), cipherLength);
        offset += length;
    } while (offset < plain.size());
    sodium_memzero(&stream, sizeof stream);
    return sealed;
}

SUnsealed CheckHeader(std::string_view sealed)
{
    SUnsealed result;
    if (sealed.size() < kMagic.size() + 2 || sealed.substr(0, kMagic.size()) != kMagic) {
        result.fault = EFault::NotSealed;
        return result;
    }
    result.version = static_cast<uint16_t>(GetBig(sealed, 8, 2));
    if (result.version > kFormatVersion) {
        result.fault = EFault::NewerFormat;
        return result;
    }
    if (sealed.size() < kHeaderLength) {
        result.fault = EFault::Truncated;
        return result;
    }
    const uint64_t ops = GetBig(sealed, 12, 8);
    const uint64_t memory = GetBig(sealed, 20, 8);
    if (result.version == 0 || static_cast<uint8_t>(sealed[10]) != kArgon2id || sealed[11] != '\0') {
        result.fault = EFault::NotSealed;
        return result;
    }
    if (ops < crypto_pwhash_OPSLIMIT_MIN || ops > kMaxOps || memory < crypto_pwhash_MEMLIMIT_MIN ||
        memory > kMaxMemory || ops * memory > kMaxWork) {
        result.fault = EFault::Unacceptable;
    }
    return result;
}

SUnsealed Unseal(std::string_view sealed, std::string_view passphrase)
{
    Ready();
    SUnsealed result = CheckHeader(sealed);
    if (result.fault != EFault::None) {
        return result;
    }
    const uint64_t ops = GetBig(sealed, 12, 8);
    const uint64_t memory = GetBig(sealed, 20, 8);
    const std::string_view additional = sealed.substr(0, kFixedLength);
    CStreamKey key;
    if (!key.Derive(passphrase, sealed.substr(28, kSaltLength), ops, static_cast<size_t>(memory))) {
        result.fault = EFault::NoResources;
        return result;
    }
    Stream stream;
    if (crypto_secretstream_xchacha20poly1305_init_pull(&stream, Bytes(sealed) + kFixedLength, key.Get()) != 0) {
        result.fault = EFault::WrongPassphrase;
        return result;
    }
    std::vector<unsigned char> chunk(kChunk);
    size_t offset = kHeaderLength;
    for (bool first = true;; first = false) {
        if (sealed.size() - offset < 4) {
            result.fault = EFault::Truncated;
            break;
        }
        const uint64_t length = GetBig(sealed, offset, 4);
        offset += 4;
        if (length < crypto_secretstream_xchacha20poly1305_ABYTES || length > kMaxCipherChunk) {
            result.fault = first ? EFault::WrongPassphrase : EFault::Altered;
            break;
        }
        if (sealed.size() - offset < length) {
            result.fault = EFault::Truncated;
            break;
        }
        unsigned long long plainLength = 0;
        unsigned char tag = 0;
        if (crypto_secretstream_xchacha20poly1305_pull(&stream, chunk.data(), &plainLength, &tag,
                                                       Bytes(sealed) + offset, length, Bytes(additional),
                                                       additional.size()) != 0) {
            // The first chunk is where a wrong key shows; later ones open only with the right one.
            result.fault = first ? EFault::WrongPassphrase : EFault::Altered;
            break;
        }
        offset += length;
        result.plain.append(reinterpret_cast<const char*>(chunk.data()), plainLength);
        if (tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL) {
            result.fault = offset == sealed.size() ? EFault::None : EFault::Altered;
            break;
        }
    }
    sodium_memzero(&stream, sizeof stream);
    sodium_memzero(chunk.data(), chunk.size());
    if (result.fault != EFault::None) {
        sodium_memzero(result.plain.data(), result.plain.size());
        result.plain.clear();
    }
    return result;
}

} // namespace SealedExport
