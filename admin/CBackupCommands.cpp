#include "CBackupCommands.h"

#include "admin/AdminText.h"
#include "admin/ExitStatus.h"
#include "admin/ExportFiles.h"
#include "backup/ExportPayload.h"
#include "backup/SealedExport.h"
#include "platform/SafeText.h"
#include "settings/CKeyStore.h"
#include "settings/KeyStoreParts.h"
#include "sync/CPeerStore.h"
#include "sync/SyncStore.h"

#include <ctime>
#include <ostream>
#include <stdexcept>

namespace {

constexpr size_t kMinPassphraseLength = 8;
// Far above any key list (10,000 keys make about 470 KB); a larger file is no export.
constexpr size_t kMaxExportSize = 64 * 1024 * 1024;

std::string PeersText(size_t count)
{
    return count == 0 ? std::string() : " and " + CountOf(count, "peer");
}

std::string SettingsText(const CKeyStore::SContents& contents)
{
    return CountOf(contents.keys.size(), "registration") + ", port " + std::to_string(contents.port) +
           (contents.password.empty() ? ", cooperation not permitted" : ", cooperation permitted");
}

} // namespace

std::string CBackupCommands::NewPassphrase()
{
    const auto typed = m_session.ReadNewPassword(m_line.Has(kOptionStdin), "Passphrase for the export: ");
    if (!typed) {
        return {};
    }
    if (typed->first != typed->second) {
        m_session.Fail("the two passphrases differ: nothing exported; try again");
        return {};
    }
    if (typed->first.size() < kMinPassphraseLength) {
        m_session.Fail("the passphrase is shorter than " + std::to_string(kMinPassphraseLength) +
                       " characters: nothing exported; the export holds every key, give it a long one");
        return {};
    }
    return typed->first;
}

bool CBackupCommands::RestorePeers(const std::vector<ExportPayload::SPeer>& peers, bool replaceAll)
{
    // The secrets of a store of another machine identity cannot be read here: its peers go.
    if (replaceAll && !KeyStoreParts::DeleteTree(SyncStore::kPeersPath)) {
        return false;
    }
    CPeerStore store;
    for (const ExportPayload::SPeer& peer : peers) {
        store.Remove(peer.name);
        if (store.Add({peer.name, peer.host, peer.port, peer.secret, {}}) != CPeerStore::Result::Done) {
            return false;
        }
    }
    return true;
}

int CBackupCommands::Export()
{
    const std::string& file = m_line.Operands().front();
    const bool replace = m_line.Has(kOptionForce);
    if (!replace && ExportFiles::Exists(file)) {
        return m_session.Fail(file + " exists already: name a new file, or add --force to replace it");
    }
    ExportPayload::SExport exported;
    if (!m_session.Registrations() || !m_session.Environment().store.ReadContents(exported.contents)) {
        return kExitFailed; // said by Registrations, unless the store failed in between
    }
    const auto peers = CPeerStore().List();
    if (!peers) {
        return m_session.StoreFailure(false);
    }
    for (const CPeerStore::SPeer& peer : *peers) {
        exported.peers.push_back({peer.name, peer.host, peer.port, peer.secret});
    }
    exported.createdAt = static_cast<int64_t>(std::time(nullptr));
    exported.host = ExportFiles::HostName();
    const std::string passphrase = NewPassphrase();
    if (passphrase.empty()) {
        return kExitFailed;
    }
    CTerminal& terminal = m_session.Environment().terminal;
    if (terminal.ShowsProgress()) {
        terminal.Progress("Sealing " + CountOf(exported.contents.keys.size(), "registration") + "...");
    }
    std::string sealed;
    try {
        sealed = SealedExport::Seal(ExportPayload::Encode(exported), passphrase, m_session.Environment().exportCost);
    } catch (const std::exception& error) {
        if (terminal.ShowsProgress()) {
            terminal.EndProgress();
        }
        return m_session.Fail(std::string("cannot seal the export: ") + error.what());
    }
    if (terminal.ShowsProgress()) {
        terminal.EndProgress();
    }
    if (const std::string error = ExportFiles::WriteNew(file, sealed, replace); !error.empty()) {
        return m_session.Fail("cannot write " + file + " (" + error + "): nothing exported");
    }
    m_session.Out() << "Exported " << SettingsText(exported.contents) << PeersText(exported.peers.size()) << " to "
                    << SafeText(file) << ".\n"
                    << "Keep the passphrase apart from the file: without it nothing can be restored.\n";
    return kExitSuccess;
}

int CBackupCommands::ReportUnsealFault(SealedExport::EFault fault, unsigned version, const std::string& file)
{
    using SealedExport::EFault;
    switch (fault) {
    case EFault::None:
        return kExitSuccess;
    case EFault::NotSealed:
        return m_session.Fail(file + " is not a sealed export of a key store: nothing imported");
    case EFault::NewerFormat:
        return m_session.Fail(file + " was written by a newer version (format " + std::to_string(version) +
                              "; this one reads format " + std::to_string(SealedExport::kFormatVersion) +
                              "): nothing imported; import it with that version");
    case EFault::Unacceptable:
        return m_session.Fail(file + " asks for a key derivation beyond what this program allows (was it "
                                     "altered?): nothing imported");
    case EFault::WrongPassphrase:
        return m_session.Fail("the passphrase is wrong, or " + file + " was altered: nothing imported");
    case EFault::Altered:
        return m_session.Fail(file + " was altered or damaged: nothing imported");
    case EFault::Truncated:
        return m_session.Fail(file + " is cut short: nothing imported; copy the whole file again");
    case EFault::NoResources:
        break;
    }
    return m_session.Fail("not enough memory to derive the key of " + file + ": nothing imported");
}

int CBackupCommands::Import()
{
    const std::string& file = m_line.Operands().front();
    std::string sealed;
    if (const std::string error = ExportFiles::Read(file, kMaxExportSize, sealed); !error.empty()) {
        return m_session.Fail("cannot read " + file + " (" + error + "): nothing imported");
    }
    // A file that cannot be opened costs nobody a passphrase typed.
    if (const SealedExport::SUnsealed header = SealedExport::CheckHeader(sealed);
        header.fault != SealedExport::EFault::None) {
        return ReportUnsealFault(header.fault, header.version, file);
    }
    if (!m_session.MayChangeAnyStore()) {
        return kExitFailed;
    }
    const auto passphrase = m_session.ReadPassword(m_line.Has(kOptionStdin), "Passphrase of the export: ");
    if (!passphrase) {
        return kExitFailed;
    }
    const SealedExport::SUnsealed unsealed = SealedExport::Unseal(sealed, *passphrase);
    if (unsealed.fault != SealedExport::EFault::None) {
        return ReportUnsealFault(unsealed.fault, unsealed.version, file);
    }
    const auto exported = ExportPayload::Decode(unsealed.plain);
    if (!exported) {
        return m_session.Fail(file + " opened, but holds nothing this version can store: nothing imported");
    }
    const CKeyStore::SContents& contents = exported->contents;
    m_session.Out() << SafeText(file) << ": " << SettingsText(contents) << "; exported "
                    << UtcMinuteText(exported->createdAt).value_or("an unknown date")
                    << (exported->host.empty() ? "" : " on " + SafeText(exported->host)) << ".\n";

    CKeyStore& store = m_session.Environment().store;
    const bool foreign = store.CheckMachineIdentity() == CKeyStore::Identity::Foreign;
    std::vector<std::string> replaced;
    if (foreign) {
        if (!m_session.Confirm("The key store belongs to another machine identity: none of its registrations can be "
                               "read on this machine. Replace the whole store with the contents of " +
                                   file + "?",
                               m_line.Has(kOptionYes), "add --yes to replace the whole key store")) {
            m_session.Out() << "Nothing imported.\n";
            return kExitFailed;
        }
    } else {
        const auto registered = store.Inspect(false).problem == StoreProblem::Missing
                                    ? std::optional<std::vector<std::string>>(std::vector<std::string>())
                                    : m_session.Registrations();
        if (!registered) {
            return kExitFailed;
        }
        for (const std::string& id : *registered) {
            if (contents.keys.count(id) != 0) {
                replaced.push_back(id);
            }
        }
        if (!replaced.empty() &&
            !m_session.Confirm(JoinIds(replaced) + (replaced.size() == 1 ? " is" : " are") +
                                   " registered here already. Replace with the keys of " + file + "?",
                               m_line.Has(kOptionYes), "add --yes to replace the keys registered here")) {
            m_session.Out() << "Nothing imported.\n";
            return kExitFailed;
        }
    }
    const uint16_t portBefore = foreign ? 0 : store.ReadPort();
    if (!store.Restore(contents, foreign) || !RestorePeers(exported->peers, foreign)) {
        return m_session.StoreFailure(true);
    }
    if (contents.port != portBefore && m_session.Environment().portChanged) {
        m_session.Environment().portChanged(contents.port);
    }
    m_session.Out() << "Imported " << SettingsText(contents) << PeersText(exported->peers.size())
                    << (replaced.empty() ? std::string() : " (" + std::to_string(replaced.size()) + " replaced)")
                    << ".\n";
    if (foreign) {
        m_session.Out() << "The key store is this machine's now: start the key service again (Oxlade start).\n";
    }
    return kExitSuccess;
}
