// A peer that holds the secret and then sends whatever it likes: the service's end of a sync
// exchange must refuse it or apply only whole, well-formed entries, without a fault. The
// peer opens with a summary of its buckets that differs in every one (so the service lists
// its entries and waits for the peer's); the input is the rest: messages, each a 2-byte
// big-endian length and its bytes, each sealed and sent as one frame; then the connection
// closes. A frame is a type ('E' entries, 'W' wants), '0' or '1' for its last, and a body.
#include "sync/CSyncChannel.h"
#include "sync/SyncSession.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace {

const std::string kSecret(32, 's');

[[noreturn]] void Finding(const char* what)
{
    std::fprintf(stderr, "session fuzzer: %s\n", what);
    std::abort();
}

// One direction of an in-memory connection.
class CPipe
{
public:
    void Push(std::string bytes)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_items.push_back(std::move(bytes));
        m_ready.notify_one();
    }
    void Close()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_closed = true;
        m_ready.notify_one();
    }
    std::string Pop()
    {
        std::unique_lock<std::mutex> guard(m_lock);
        m_ready.wait(guard, [this] { return !m_items.empty() || m_closed; });
        if (m_items.empty()) {
            throw std::runtime_error("closed");
        }
        std::string bytes = std::move(m_items.front());
        m_items.pop_front();
        return bytes;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_ready;
    std::deque<std::string> m_items;
    bool m_closed = false;
};

class CPipeLink : public Sync::ISyncLink
{
public:
    CPipeLink(CPipe& out, CPipe& in) : m_out(out), m_in(in) {}
    void Send(std::string_view bytes) override { m_out.Push(std::string(bytes)); }
    std::string Receive() override { return m_in.Pop(); }

private:
    CPipe& m_out;
    CPipe& m_in;
};

Sync::SSnapshot Served()
{
    Sync::SSnapshot snapshot;
    for (int i = 0; i < 4; ++i) {
        const std::string id = "00000000000" + std::to_string(i);
        snapshot.entries[id] = Sync::SEntry{id,
                                            {{std::string(16, 'a'), 1}},
                                            i == 3,
                                            1800000000,
                                            i == 3 ? std::string() : std::string(32, static_cast<char>('k' + i))};
    }
    snapshot.buckets = Sync::BucketDigests(snapshot.entries);
    snapshot.serverId = std::string(16, 'a');
    return snapshot;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const Sync::SSnapshot snapshot = Served();
    CPipe toService;
    CPipe toPeer;
    std::thread peer([&] {
        CPipeLink link(toService, toPeer);
        try {
            Sync::CSyncChannel channel = Sync::CSyncChannel::Initiate(link, kSecret);
            channel.Send("S1" + std::string(16, 'z') + std::string(Sync::kBuckets * Sync::kDigestLength, '\0'));
            for (size_t at = 0; at + 2 <= size;) {
                const size_t length = std::min<size_t>((size_t{data[at]} << 8) | data[at + 1], size - at - 2);
                channel.Send(std::string(reinterpret_cast<const char*>(data) + at + 2, length));
                at += 2 + length;
            }
        } catch (const std::exception&) {
        }
        toService.Close();
    });
    CPipeLink link(toPeer, toService);
    try {
        std::string name;
        Sync::CSyncChannel channel = Sync::CSyncChannel::Answer(
            link,
            [](std::string_view) {
                return Sync::SPeerSecret{"peer", kSecret};
            },
            name);
        Sync::RunAnswer(channel, snapshot, [](const std::vector<Sync::SEntry>& entries) {
            for (const Sync::SEntry& entry : entries) {
                if (entry.id.empty() || (!entry.deleted && entry.key.size() != 32) || entry.version.size() > 32) {
                    Finding("an entry that is none reached the store");
                }
            }
            return CSyncLedger::SApplied();
        });
    } catch (const std::exception&) {
    }
    toPeer.Close();
    peer.join();
    return 0;
}
