#include "SyncSession.h"

#include "keys/ByteFields.h"

#include <set>

namespace Sync {

namespace {

constexpr char kSummary = 'S';
constexpr char kDiffering = 'D';
constexpr char kListing = 'L';
constexpr char kEntries = 'E';
constexpr char kWants = 'W';
constexpr char kRefusal = 'X'; // instead of any message: why the other end stops
// What one exchange carries at most each way: within what the service takes of one
// connection, and what the initiator takes of an answer.
constexpr size_t kMaxEntryBytes = 512 * 1024;
constexpr size_t kMaxWantBytes = 128 * 1024;
constexpr size_t kMaxReceived = 16 * 1024 * 1024;
constexpr size_t kFrameBody = CSyncChannel::kMaxMessage - 2;

// Sends items (each already encoded) as frames of one message of the type; the last frame
// says so. An empty message is one empty last frame.
void SendMessage(CSyncChannel& channel, char type, const std::vector<std::string>& items)
{
    std::string frame;
    auto flush = [&channel, &frame, type](bool last) {
        channel.Send(std::string{type, last ? '1' : '0'} + frame);
        frame.clear();
    };
    for (const std::string& item : items) {
        if (!frame.empty() && frame.size() + item.size() > kFrameBody) {
            flush(false);
        }
        frame += item;
    }
    flush(true);
}

// The bodies of every frame of one message of the type, joined.
class CReceiver
{
public:
    explicit CReceiver(CSyncChannel& channel) : m_channel(channel) {}

    std::string Message(char type)
    {
        std::string body;
        for (;;) {
            const std::string frame = m_channel.Receive();
            m_received += frame.size();
            if (frame.size() >= 2 && frame[0] == kRefusal) {
                throw CSyncRefused(frame.substr(2, 200));
            }
            if (frame.size() < 2 || frame[0] != type || (frame[1] != '0' && frame[1] != '1') ||
                m_received > kMaxReceived) {
                throw CSyncRefused("a sync message out of order");
            }
            body.append(frame, 2);
            if (frame[1] == '1') {
                return body;
            }
        }
    }

private:
    CSyncChannel& m_channel;
    size_t m_received = 0;
};

[[noreturn]] void Malformed()
{
    throw CSyncRefused("a sync message that does not read");
}

std::string EncodeBuckets(const Buckets& buckets)
{
    std::string out;
    for (const Digest& digest : buckets) {
        out.append(reinterpret_cast<const char*>(digest.data()), digest.size());
    }
    return out;
}

std::string DigestText(const SEntry& entry)
{
    const Digest digest = EntryDigest(entry);
    return std::string(reinterpret_cast<const char*>(digest.data()), digest.size());
}

std::vector<SEntry> DecodeEntries(const std::string& body)
{
    std::vector<SEntry> entries;
    ByteFields::CReader in(body);
    while (!in.AtEnd()) {
        std::optional<SEntry> entry = DecodeEntry(in, true);
        if (!entry) {
            Malformed();
        }
        entries.push_back(std::move(*entry));
    }
    return entries;
}

std::string EncodeEntryItem(const SEntry& entry)
{
    std::string out;
    EncodeEntry(out, entry, true);
    return out;
}

} // namespace

SOutcome RunInitiator(CSyncChannel& channel, const SSnapshot& snapshot, const ApplyFn& apply)
{
    SOutcome outcome;
    CReceiver receiver(channel);
    SendMessage(channel, kSummary, {snapshot.serverId + EncodeBuckets(snapshot.buckets)});
    const std::string differing = receiver.Message(kDiffering);
    if (differing.empty()) {
        return outcome;
    }
    std::set<size_t> buckets;
    for (const char bucket : differing) {
        buckets.insert(static_cast<uint8_t>(bucket));
    }
    // Theirs: ID to digest, of the differing buckets.
    std::map<std::string, std::string> theirs;
    const std::string listing = receiver.Message(kListing);
    ByteFields::CReader in(listing);
    while (!in.AtEnd()) {
        std::string id;
        std::string_view digest;
        if (!in.Text(2, id) || !in.Take(kDigestLength, digest) || buckets.count(BucketOf(id)) == 0) {
            Malformed();
        }
        theirs[id] = std::string(digest);
    }

    std::vector<std::string> sends;
    size_t sendBytes = 0;
    for (const auto& [id, entry] : snapshot.entries) {
        if (buckets.count(BucketOf(id)) == 0) {
            continue;
        }
        const auto other = theirs.find(id);
        if (other != theirs.end() && other->second == DigestText(entry)) {
            continue;
        }
        std::string item = EncodeEntryItem(entry);
        if (sendBytes + item.size() > kMaxEntryBytes) {
            outcome.more = true;
            break;
        }
        sendBytes += item.size();
        sends.push_back(std::move(item));
    }
    std::vector<std::string> wants;
    size_t wantBytes = 0;
    for (const auto& [id, digest] : theirs) {
        const auto mine = snapshot.entries.find(id);
        if (mine != snapshot.entries.end() && DigestText(mine->second) == digest) {
            continue;
        }
        std::string item;
        ByteFields::PutText(item, id, 2);
        if (wantBytes + item.size() > kMaxWantBytes) {
            outcome.more = true;
            break;
        }
        wantBytes += item.size();
        wants.push_back(std::move(item));
    }
    SendMessage(channel, kEntries, sends);
    SendMessage(channel, kWants, wants);
    outcome.sent = sends.size();
    const std::vector<SEntry> received = DecodeEntries(receiver.Message(kEntries));
    outcome.received = received.size();
    outcome.applied = apply(received);
    return outcome;
}

SOutcome RunAnswer(CSyncChannel& channel, const SSnapshot& snapshot, const ApplyFn& apply)
{
    SOutcome outcome;
    CReceiver receiver(channel);
    const std::string message = receiver.Message(kSummary);
    if (message.size() != kServerIdLength + kBuckets * kDigestLength) {
        Malformed();
    }
    // A peer named by an address that leads back here (a floating one, say).
    if (message.compare(0, kServerIdLength, snapshot.serverId) == 0) {
        const std::string reason = "the peer is this key server itself";
        SendMessage(channel, kRefusal, {reason});
        throw CSyncRefused(reason);
    }
    const std::string summary = message.substr(kServerIdLength);
    std::string differing;
    for (size_t bucket = 0; bucket < kBuckets; ++bucket) {
        const Digest& mine = snapshot.buckets[bucket];
        if (summary.compare(bucket * kDigestLength, kDigestLength, reinterpret_cast<const char*>(mine.data()),
                            mine.size()) != 0) {
            differing.push_back(static_cast<char>(bucket));
        }
    }
    SendMessage(channel, kDiffering, {differing});
    if (differing.empty()) {
        return outcome;
    }
    std::set<size_t> buckets;
    for (const char bucket : differing) {
        buckets.insert(static_cast<uint8_t>(bucket));
    }
    std::vector<std::string> listing;
    for (const auto& [id, entry] : snapshot.entries) {
        if (buckets.count(BucketOf(id)) != 0) {
            std::string item;
            ByteFields::PutText(item, id, 2);
            item += DigestText(entry);
            listing.push_back(std::move(item));
        }
    }
    SendMessage(channel, kListing, listing);

    const std::vector<SEntry> received = DecodeEntries(receiver.Message(kEntries));
    const std::string wantBody = receiver.Message(kWants);
    std::vector<std::string> sends;
    ByteFields::CReader in(wantBody);
    while (!in.AtEnd()) {
        std::string id;
        if (!in.Text(2, id)) {
            Malformed();
        }
        const auto mine = snapshot.entries.find(id);
        if (mine != snapshot.entries.end()) {
            sends.push_back(EncodeEntryItem(mine->second));
        }
    }
    // Whole and authentic: what the initiator sent is applied before anything more is said.
    outcome.received = received.size();
    outcome.applied = apply(received);
    SendMessage(channel, kEntries, sends);
    outcome.sent = sends.size();
    return outcome;
}

} // namespace Sync
