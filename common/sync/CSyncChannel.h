#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace Sync {

inline constexpr size_t kSecretLength = 32;

// One message each way at a time over a key-server connection: the data items of the
// protocol, whichever end carries them.
class ISyncLink
{
public:
    virtual ~ISyncLink() = default;
    virtual void Send(std::string_view bytes) = 0;
    virtual std::string Receive() = 0;
};

// The other end is no key server that syncs with this one: a wrong secret, a proof that
// does not hold, a frame that does not open.
class CSyncRefused : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// What names a pairing on the wire without giving its secret away.
std::string SecretId(std::string_view secret);

// A peer's secret, found by its ID, and the name this server knows the peer by.
struct SPeerSecret
{
    std::string name;
    std::string secret;
};
using SecretLookup = std::function<std::optional<SPeerSecret>(std::string_view secretId)>;

// Two key servers that share a peer secret: each proves it holds the secret over fresh
// nonces of both, and every later message travels sealed (XChaCha20-Poly1305) under keys
// derived from the secret and both nonces, one per direction, numbered: nothing recorded
// of another connection opens here, and no message can be altered, dropped or reordered
// unnoticed. Any failure throws CSyncRefused; the link's own errors pass unchanged.
class CSyncChannel
{
public:
    // The largest message Seal takes: a sealed one still fits a data item.
    static constexpr size_t kMaxMessage = 65536 - 16;

    // The connecting end.
    static CSyncChannel Initiate(ISyncLink& link, std::string_view secret);
    // The accepting end; names the peer whose secret the other end proved.
    static CSyncChannel Answer(ISyncLink& link, const SecretLookup& lookup, std::string& peerName);

    void Send(std::string_view message);
    std::string Receive();

private:
    using Key = std::array<uint8_t, 32>;
    CSyncChannel(ISyncLink& link, const Key& sendKey, const Key& receiveKey);

    ISyncLink& m_link;
    Key m_sendKey;
    Key m_receiveKey;
    uint64_t m_sent = 0;
    uint64_t m_received = 0;
};

} // namespace Sync
