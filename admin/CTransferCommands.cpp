#include "CTransferCommands.h"

#include "admin/AdminText.h"
#include "admin/ExitStatus.h"
#include "admin/TargetAddress.h"

#include <algorithm>
#include <ostream>
#include <set>

namespace {

// The IDs of wanted that are (or, with registered false, are not) in the registrations.
std::vector<std::string> Among(const std::vector<std::string>& wanted, const std::vector<std::string>& registrations,
                               bool registered)
{
    const std::set<std::string> known(registrations.begin(), registrations.end());
    std::vector<std::string> ids;
    std::copy_if(wanted.begin(), wanted.end(), std::back_inserter(ids),
                 [&](const std::string& id) { return known.contains(id) == registered; });
    return ids;
}

} // namespace

std::optional<SCopyTarget> CTransferCommands::Address()
{
    const std::string& text = m_line.Operands().front();
    const auto target = ParseTargetAddress(text);
    if (!target) {
        m_session.UsageError("'" + text + "' names no key server: write HOST, HOST:PORT or [IPV6-ADDRESS]:PORT");
        return std::nullopt;
    }
    if (ResolveTarget(*target).refusal == ECopyOutcome::InvalidPort) {
        m_session.UsageError("the port in " + text + " is not a number up to 65535");
        return std::nullopt;
    }
    return target;
}

bool CTransferCommands::ReadPassword(SCopyTarget& target)
{
    const auto password =
        m_session.ReadPassword(m_line.Has(kOptionStdin), "Cooperation password of " + TargetText(target) + ": ");
    if (password) {
        target.password = *password;
    }
    return password.has_value();
}

std::optional<std::vector<std::string>> CTransferCommands::CopyIds(int& status)
{
    status = kExitUsage;
    const bool all = m_line.Has(kOptionAll);
    if (all == (m_line.Operands().size() > 1)) {
        m_session.UsageError(std::string(all ? "both --all and IDs given" : "no IDs") +
                             ": name the IDs to copy, or --all: see 'corvane-admin copy --help'");
        return std::nullopt;
    }
    status = kExitFailed;
    const auto registrations = m_session.Registrations();
    if (!registrations) {
        return std::nullopt;
    }
    if (all && registrations->empty()) {
        m_session.Fail("there are no registrations to copy");
        return std::nullopt;
    }
    const std::vector<std::string> ids =
        all ? *registrations : UpperIds(m_line.Operands().begin() + 1, m_line.Operands().end());
    const std::vector<std::string> unknown = Among(ids, *registrations, false);
    if (!unknown.empty()) {
        m_session.Fail(JoinIds(unknown) + (unknown.size() == 1 ? " is" : " are") +
                       " not registered here: nothing copied (see 'corvane-admin list')");
        return std::nullopt;
    }
    return ids;
}

int CTransferCommands::Copy()
{
    auto target = Address();
    if (!target) {
        return kExitUsage;
    }
    int status = kExitFailed;
    const auto ids = CopyIds(status);
    if (!ids) {
        return status;
    }
    if (!ReadPassword(*target)) {
        return kExitFailed;
    }
    const std::vector<CKeyRecord> copySet = m_session.Tasks().BuildCopySet(*ids);
    const SCopyResult result = m_session.Tasks().CopyKeysInParts(
        copySet, *target, m_session.ProgressLine("Copying keys to " + TargetText(*target)));
    m_session.EndProgress();
    if (result.outcome != ECopyOutcome::InvalidPort && result.outcome != ECopyOutcome::UnrepresentablePassword) {
        m_session.Out() << result.copied << " of " << CountOf(copySet.size(), "key") << " reached "
                        << TargetText(*target) << ".\n";
    }
    return ReportOutcome(result.outcome, *target, "copy to");
}

int CTransferCommands::Fetch()
{
    auto target = Address();
    if (!target) {
        return kExitUsage;
    }
    if (!m_session.MayWrite()) {
        return kExitFailed;
    }
    const std::vector<std::string> ids = UpperIds(m_line.Operands().begin() + 1, m_line.Operands().end());
    const auto registrations = m_session.Registrations();
    if (!registrations) {
        return kExitFailed;
    }
    const std::vector<std::string> present = Among(ids, *registrations, true);
    if (!present.empty() &&
        !m_session.Confirm(JoinIds(present) + (present.size() == 1 ? " is" : " are") +
                               " registered here already. Replace with the keys of " + TargetText(*target) + "?",
                           m_line.Has(kOptionYes), "add --yes to replace the keys registered here")) {
        m_session.Out() << "Nothing fetched.\n";
        return kExitFailed;
    }
    if (!ReadPassword(*target)) {
        return kExitFailed;
    }
    const SFetchResult result =
        m_session.Tasks().FetchKeys(ids, *target, m_session.ProgressLine("Fetching keys from " + TargetText(*target)));
    m_session.EndProgress();
    const size_t stored = result.keys.size() - result.notStored.size();
    if (result.outcome != ECopyOutcome::InvalidPort && result.outcome != ECopyOutcome::UnrepresentablePassword) {
        m_session.Out() << stored << " of " << CountOf(ids.size(), "key") << " fetched from " << TargetText(*target)
                        << " and registered.\n";
    }
    int status = ReportOutcome(result.outcome, *target, "fetch from");
    if (!result.refused.empty()) {
        status = m_session.Fail(TargetText(*target) + " has no key for " + JoinIds(result.refused) +
                                ": check the IDs on that key server");
    }
    if (!result.notStored.empty()) {
        status = m_session.Fail("the key store refused the keys of " + JoinIds(result.notStored) +
                                ": check the state directory and free space");
    }
    return status;
}

int CTransferCommands::ReportOutcome(ECopyOutcome outcome, const SCopyTarget& target, const std::string& direction)
{
    const std::string where = TargetText(target);
    switch (outcome) {
    case ECopyOutcome::Done:
        return kExitSuccess;
    case ECopyOutcome::InvalidPort:
        return m_session.UsageError("the port in " + where + " is not a number up to 65535");
    case ECopyOutcome::UnrepresentablePassword:
        return m_session.Fail("the password holds a character that code page 932 (Japanese Windows) cannot "
                              "represent, so no key server can have it: check the password");
    case ECopyOutcome::NoConnection:
        return m_session.Fail("cannot connect to the key server at " + where +
                              ": check the address, the port and that its key service runs");
    case ECopyOutcome::PasswordRefused:
        return m_session.Fail("the key server at " + where +
                              " refused the password: give the cooperation password set there");
    case ECopyOutcome::Failed:
        break;
    }
    return m_session.Fail("the " + direction + " " + where +
                          " failed after connecting: see the log of the key service there");
}
