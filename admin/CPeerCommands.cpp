#include "CPeerCommands.h"

#include "admin/ExitStatus.h"
#include "admin/JsonText.h"
#include "admin/TargetAddress.h"
#include "console/KeyServerRequest.h"
#include "platform/SafeText.h"
#include "sync/CPeerStore.h"
#include "sync/CSyncLedger.h"

#include <chrono>
#include <ctime>
#include <ostream>
#include <sodium.h>
#include <thread>

namespace {

constexpr size_t kSecretLength = 32;
// How long resolve waits for the key service to settle the conflict.
constexpr auto kResolveWait = std::chrono::seconds(10);

std::string Hex(const std::string& bytes)
{
    std::string text(bytes.size() * 2 + 1, '\0');
    sodium_bin2hex(text.data(), text.size(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    text.pop_back();
    return text;
}

std::optional<std::string> FromHex(const std::string& text)
{
    std::string bytes(kSecretLength, '\0');
    size_t length = 0;
    const char* end = nullptr;
    if (sodium_hex2bin(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size(), text.data(), text.size(), nullptr,
                       &length, &end) != 0 ||
        length != kSecretLength || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return bytes;
}

std::string TimeText(int64_t seconds)
{
    if (seconds == 0) {
        return "never";
    }
    const std::time_t time = static_cast<std::time_t>(seconds);
    char text[32];
    const std::tm* utc = std::gmtime(&time);
    return utc != nullptr && std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%SZ", utc) != 0 ? text : "unknown";
}

size_t ConflictsWith(const std::map<std::string, CSyncLedger::SConflict>& conflicts, const std::string& peer)
{
    size_t count = 0;
    for (const auto& [id, conflict] : conflicts) {
        count += conflict.peer == peer ? 1 : 0;
    }
    return count;
}

} // namespace

int CPeerCommands::Peer()
{
    const auto& operands = m_line.Operands();
    const std::string& action = operands.front();
    const size_t count = operands.size() - 1;
    if (action == "add" && (count == 2)) {
        return Add();
    }
    if (action == "remove" && count == 1) {
        return Remove();
    }
    if (action == "list" && count == 0) {
        return List();
    }
    if (action == "resolve" && count == 1) {
        return Resolve();
    }
    return m_session.UsageError("write peer add NAME HOST[:PORT], peer remove NAME, peer list or peer resolve ID "
                                "--keep local|peer: see 'corvane-admin peer --help'");
}

int CPeerCommands::Add()
{
    const std::string& name = m_line.Operands()[1];
    const std::string& where = m_line.Operands()[2];
    if (!CPeerStore::ValidName(name)) {
        return m_session.UsageError("a peer's name is 1 to 64 letters, digits, '.', '-' or '_'");
    }
    const auto target = ParseTargetAddress(where);
    const SRequestTarget resolved = target ? ResolveTarget(*target) : SRequestTarget{};
    if (!target || resolved.refusal == ECopyOutcome::InvalidPort) {
        return m_session.UsageError("'" + where +
                                    "' names no key server: write HOST, HOST:PORT or [IPV6-ADDRESS]:PORT");
    }
    CPeerStore::SPeer peer{name, target->host, resolved.port, {}, {}};
    const bool given = m_line.Has(kOptionSecretStdin);
    if (given) {
        const auto text = m_session.ReadPassword(true, "");
        const auto secret = text ? FromHex(*text) : std::nullopt;
        if (!secret) {
            return m_session.UsageError("--secret-stdin needs the other key server's peer secret: 64 hexadecimal "
                                        "digits on one line");
        }
        peer.secret = *secret;
    } else {
        peer.secret.assign(kSecretLength, '\0');
        randombytes_buf(peer.secret.data(), peer.secret.size());
    }
    if (!m_session.MayWrite()) {
        return kExitFailed;
    }
    switch (CPeerStore().Add(peer)) {
    case CPeerStore::Result::Done:
        break;
    case CPeerStore::Result::Exists:
        return m_session.Fail("a peer named " + name + " exists already: remove it first");
    default:
        return m_session.StoreFailure(true);
    }
    m_session.Out() << "Peer " << name
                    << " added: " << TargetText(SCopyTarget{peer.host, std::to_string(peer.port), {}}) << ".\n";
    if (!given) {
        m_session.Out() << "Peer secret, shown only now: on the other key server, run\n"
                        << "  corvane-admin peer add NAME THIS-SERVER --secret-stdin\n"
                        << "and give it this line:\n"
                        << Hex(peer.secret) << "\n";
    }
    return kExitSuccess;
}

int CPeerCommands::Remove()
{
    const std::string& name = m_line.Operands()[1];
    if (!m_session.MayWrite()) {
        return kExitFailed;
    }
    switch (CPeerStore().Remove(name)) {
    case CPeerStore::Result::Done:
        m_session.Out() << "Peer " << name << " removed.\n";
        return kExitSuccess;
    case CPeerStore::Result::Missing:
        return m_session.Fail("no peer is named " + SafeText(name));
    default:
        return m_session.StoreFailure(true);
    }
}

int CPeerCommands::List()
{
    const auto peers = CPeerStore().List();
    if (!peers) {
        return m_session.StoreFailure(false);
    }
    const auto conflicts = CSyncLedger::ReadConflicts();
    std::ostream& out = m_session.Out();
    if (m_line.Has(kOptionJson)) {
        out << "{\"peers\": [";
        for (size_t i = 0; i < peers->size(); ++i) {
            const CPeerStore::SPeer& peer = (*peers)[i];
            out << (i == 0 ? "" : ", ") << "{\"name\": " << JsonString(peer.name)
                << ", \"host\": " << JsonString(peer.host) << ", \"port\": " << peer.port
                << ", \"state\": " << JsonString(peer.status.state)
                << ", \"inSync\": " << (peer.status.state.rfind("in sync", 0) == 0 ? "true" : "false")
                << ", \"lastSync\": " << (peer.status.lastSync == 0 ? "null" : std::to_string(peer.status.lastSync))
                << ", \"waiting\": " << peer.status.waiting
                << ", \"conflicts\": " << ConflictsWith(conflicts, peer.name) << "}";
        }
        out << "], \"conflicts\": [";
        size_t index = 0;
        for (const auto& [id, conflict] : conflicts) {
            out << (index++ == 0 ? "" : ", ") << "{\"id\": " << JsonString(id)
                << ", \"peer\": " << JsonString(conflict.peer) << "}";
        }
        out << "]}\n";
        return kExitSuccess;
    }
    for (const CPeerStore::SPeer& peer : *peers) {
        out << peer.name << "\t" << TargetText(SCopyTarget{peer.host, std::to_string(peer.port), {}}) << "\t"
            << SafeText(peer.status.state) << "\tlast sync " << TimeText(peer.status.lastSync) << "\t"
            << peer.status.waiting << " waiting\t" << ConflictsWith(conflicts, peer.name) << " conflicts\n";
    }
    for (const auto& [id, conflict] : conflicts) {
        out << "conflict\t" << SafeText(id) << "\twith " << conflict.peer << "\n";
    }
    return kExitSuccess;
}

int CPeerCommands::Resolve()
{
    const std::string& id = m_line.Operands()[1];
    const std::string& keep = m_line.Keep();
    if (keep != "local" && keep != "peer") {
        return m_session.UsageError("peer resolve needs --keep local or --keep peer");
    }
    if (!m_session.MayWrite()) {
        return kExitFailed;
    }
    if (CSyncLedger::RequestResolution(id, keep == "local") != 1) {
        return m_session.Fail("no conflict is recorded for " + SafeText(id) + ": see 'corvane-admin peer list'");
    }
    const auto deadline = std::chrono::steady_clock::now() + kResolveWait;
    while (std::chrono::steady_clock::now() < deadline) {
        if (CSyncLedger::ReadConflicts().count(id) == 0) {
            m_session.Out() << "Conflict of " << SafeText(id) << " settled: the " << keep
                            << " key is kept, on every peer.\n";
            return kExitSuccess;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return m_session.Fail("the key service has not settled the conflict of " + SafeText(id) +
                          " yet: it does once it runs; check with 'corvane-admin peer list'");
}

void CPeerCommands::StatusLines()
{
    const auto peers = CPeerStore().List();
    if (!peers || peers->empty()) {
        return;
    }
    const auto conflicts = CSyncLedger::ReadConflicts();
    for (const CPeerStore::SPeer& peer : *peers) {
        m_session.Out() << "Peer:          " << peer.name << ", " << SafeText(peer.status.state) << ", last sync "
                        << TimeText(peer.status.lastSync) << ", " << peer.status.waiting << " waiting, "
                        << ConflictsWith(conflicts, peer.name) << " conflicts\n";
    }
}

void CPeerCommands::StatusJson()
{
    const auto peers = CPeerStore().List();
    const auto conflicts = CSyncLedger::ReadConflicts();
    m_session.Out() << ", \"peers\": [";
    for (size_t i = 0; peers && i < peers->size(); ++i) {
        const CPeerStore::SPeer& peer = (*peers)[i];
        m_session.Out() << (i == 0 ? "" : ", ") << "{\"name\": " << JsonString(peer.name)
                        << ", \"state\": " << JsonString(peer.status.state) << ", \"lastSync\": "
                        << (peer.status.lastSync == 0 ? "null" : std::to_string(peer.status.lastSync))
                        << ", \"waiting\": " << peer.status.waiting
                        << ", \"conflicts\": " << ConflictsWith(conflicts, peer.name) << "}";
    }
    m_session.Out() << "]";
}
