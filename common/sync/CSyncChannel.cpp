#include "CSyncChannel.h"

#include <cstring>
#include <sodium.h>

namespace Sync {

namespace {

constexpr std::string_view kHello{"CVSY\x01", 5};
constexpr size_t kNonceLength = 32;
constexpr size_t kIdLength = 16;
constexpr size_t kProofLength = 32;
constexpr char kAccepted = 'A';
constexpr char kRefused = 'R';

using Key = std::array<uint8_t, 32>;

void Initialise()
{
    if (sodium_init() < 0) {
        throw CSyncRefused("the cryptography library cannot start");
    }
}

// Keyed BLAKE2b of a label and the handshake's bytes under the secret.
Key Derive(std::string_view secret, std::string_view label, std::string_view handshake)
{
    Key out{};
    crypto_generichash_state state;
    crypto_generichash_init(&state, reinterpret_cast<const unsigned char*>(secret.data()), secret.size(), out.size());
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(label.data()), label.size());
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(handshake.data()), handshake.size());
    crypto_generichash_final(&state, out.data(), out.size());
    return out;
}

std::string AsText(const Key& key)
{
    return std::string(reinterpret_cast<const char*>(key.data()), key.size());
}

std::string RandomNonce()
{
    std::string nonce(kNonceLength, '\0');
    randombytes_buf(nonce.data(), nonce.size());
    return nonce;
}

bool SameProof(std::string_view received, const Key& expected)
{
    return received.size() == expected.size() && sodium_memcmp(received.data(), expected.data(), expected.size()) == 0;
}

void Nonce(uint64_t number, unsigned char (&nonce)[crypto_aead_xchacha20poly1305_ietf_NPUBBYTES])
{
    std::memset(nonce, 0, sizeof nonce);
    for (int i = 0; i < 8; ++i) {
        nonce[i] = static_cast<unsigned char>(number >> (56 - 8 * i));
    }
}

} // namespace

std::string SecretId(std::string_view secret)
{
    Initialise();
    return AsText(Derive(secret, "peer id", {})).substr(0, kIdLength);
}

CSyncChannel::CSyncChannel(ISyncLink& link, const Key& sendKey, const Key& receiveKey)
    : m_link(link), m_sendKey(sendKey), m_receiveKey(receiveKey)
{}

CSyncChannel CSyncChannel::Initiate(ISyncLink& link, std::string_view secret)
{
    Initialise();
    const std::string id = SecretId(secret);
    const std::string ours = RandomNonce();
    link.Send(std::string(kHello) + id + ours);
    const std::string answer = link.Receive();
    if (answer.size() != 1 + kNonceLength + kProofLength || answer[0] != kAccepted) {
        throw CSyncRefused("the peer does not know this server's secret");
    }
    const std::string handshake = id + ours + answer.substr(1, kNonceLength);
    if (!SameProof(std::string_view(answer).substr(1 + kNonceLength), Derive(secret, "answer proof", handshake))) {
        throw CSyncRefused("the peer could not prove the shared secret");
    }
    link.Send(AsText(Derive(secret, "initiator proof", handshake)));
    if (link.Receive() != std::string(1, kAccepted)) {
        throw CSyncRefused("the peer refused this server's proof");
    }
    return CSyncChannel(link, Derive(secret, "initiator key", handshake), Derive(secret, "answer key", handshake));
}

CSyncChannel CSyncChannel::Answer(ISyncLink& link, const SecretLookup& lookup, std::string& peerName)
{
    Initialise();
    const std::string hello = link.Receive();
    std::optional<SPeerSecret> peer;
    if (hello.size() == kHello.size() + kIdLength + kNonceLength && hello.compare(0, kHello.size(), kHello) == 0) {
        peer = lookup(std::string_view(hello).substr(kHello.size(), kIdLength));
    }
    if (!peer) {
        link.Send(std::string(1, kRefused));
        throw CSyncRefused("no peer of this server holds the secret offered");
    }
    const std::string ours = RandomNonce();
    const std::string handshake = hello.substr(kHello.size()) + ours;
    link.Send(std::string(1, kAccepted) + ours + AsText(Derive(peer->secret, "answer proof", handshake)));
    if (!SameProof(link.Receive(), Derive(peer->secret, "initiator proof", handshake))) {
        link.Send(std::string(1, kRefused));
        throw CSyncRefused("the peer " + peer->name + " could not prove the shared secret");
    }
    link.Send(std::string(1, kAccepted));
    peerName = peer->name;
    return CSyncChannel(link, Derive(peer->secret, "answer key", handshake),
                        Derive(peer->secret, "initiator key", handshake));
}

void CSyncChannel::Send(std::string_view message)
{
    if (message.size() > kMaxMessage) {
        throw CSyncRefused("a sync message too long to send");
    }
    unsigned char nonce[crypto_aead_xchacha20poly1305_ietf_NPUBBYTES];
    Nonce(m_sent++, nonce);
    std::string sealed(message.size() + crypto_aead_xchacha20poly1305_ietf_ABYTES, '\0');
    unsigned long long length = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(reinterpret_cast<unsigned char*>(sealed.data()), &length,
                                               reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                                               nullptr, 0, nullptr, nonce, m_sendKey.data());
    m_link.Send(sealed);
}

std::string CSyncChannel::Receive()
{
    const std::string sealed = m_link.Receive();
    if (sealed.size() < crypto_aead_xchacha20poly1305_ietf_ABYTES) {
        throw CSyncRefused("a sync message that does not open");
    }
    unsigned char nonce[crypto_aead_xchacha20poly1305_ietf_NPUBBYTES];
    Nonce(m_received++, nonce);
    std::string message(sealed.size() - crypto_aead_xchacha20poly1305_ietf_ABYTES, '\0');
    unsigned long long length = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char*>(message.data()), &length, nullptr,
                                                   reinterpret_cast<const unsigned char*>(sealed.data()), sealed.size(),
                                                   nullptr, 0, nonce, m_receiveKey.data()) != 0) {
        throw CSyncRefused("a sync message that does not open");
    }
    return message;
}

} // namespace Sync
