#include "CKeyCommands.h"

#include "admin/AdminText.h"
#include "admin/ExitStatus.h"
#include "admin/JsonText.h"
#include "console/lockkey/CLockKeyScanner.h"
#include "keys/AsciiCase.h"
#include "platform/SafeText.h"

#include <algorithm>
#include <ostream>

namespace {

// E:\ID or E:/ID as a drive letter and an ID; nullopt for anything else.
std::optional<std::pair<char, std::string>> DrivePath(const std::string& text)
{
    if (text.size() < 3 || text[1] != ':' || (text[2] != '\\' && text[2] != '/')) {
        return std::nullopt;
    }
    return std::make_pair(UpperAscii(text.substr(0, 1))[0], UpperAscii(text.substr(3)));
}

bool Names(const CLockKeyEntry& entry, const std::string& argument)
{
    const auto drivePath = DrivePath(argument);
    if (drivePath) {
        return entry.GetDriveLetter() == std::string(1, drivePath->first) && entry.GetId() == drivePath->second;
    }
    return !entry.GetId().empty() && entry.GetId() == UpperAscii(argument);
}

std::string UsbIdentityText(const CLockKeyEntry& entry)
{
    if (!entry.IsDeviceIdKnown()) {
        return "unknown";
    }
    return entry.GetDeviceId().empty() ? "-" : entry.GetDeviceId();
}

} // namespace

int CKeyCommands::List()
{
    const auto ids = m_session.Registrations();
    if (!ids) {
        return kExitFailed;
    }
    if (m_line.Has(kOptionJson)) {
        std::string list;
        for (const std::string& id : *ids) {
            list += (list.empty() ? "" : ", ") + JsonString(id);
        }
        m_session.Out() << "{\"count\": " << ids->size() << ", \"registrations\": [" << list << "]}\n";
        return kExitSuccess;
    }
    for (const std::string& id : *ids) {
        m_session.Out() << SafeText(id) << "\n";
    }
    return kExitSuccess;
}

int CKeyCommands::Sticks()
{
    const CStorageSystem& storage = m_session.Environment().storage;
    CLockKeyScanner scanner(storage);
    scanner.Scan();
    if (scanner.GetCount() == 0) {
        m_session.Environment().err << "corvane-admin: no lock key is plugged in\n";
    }
    for (size_t i = 0; i < scanner.GetCount(); ++i) {
        const CLockKeyEntry& entry = scanner.GetEntry(i);
        const auto drive = storage.Drives().FindDrive(entry.GetPath().front());
        const ELockKeyFault fault = entry.ReadKeyChecked().fault;
        // Names from the stick and the mount table: a tab or a newline in one must not make
        // another field or line.
        m_session.Out() << SafeText(entry.GetDisplayText()) << "\t"
                        << (entry.GetId().empty() ? "-" : SafeText(entry.GetId())) << "\t"
                        << (drive ? SafeText(drive->mountPoint) : "-") << "\t" << SafeText(UsbIdentityText(entry))
                        << "\t"
                        << (fault == ELockKeyFault::None ? "ready" : "cannot be registered: " + FaultText(fault))
                        << "\n";
    }
    return kExitSuccess;
}

std::optional<size_t> CKeyCommands::SelectStick(const CLockKeyScanner& scanner, int& status)
{
    status = kExitFailed;
    if (scanner.GetCount() == 0) {
        m_session.Fail("no lock key is plugged in: plug in the lock-key stick, and mount it if nothing does");
        return std::nullopt;
    }
    std::vector<size_t> named;
    std::vector<std::string> texts;
    for (size_t i = 0; i < scanner.GetCount(); ++i) {
        if (m_line.Operands().empty() || Names(scanner.GetEntry(i), m_line.Operands().front())) {
            named.push_back(i);
            texts.push_back(scanner.GetDisplayText(i));
        }
    }
    if (named.size() == 1) {
        return named.front();
    }
    if (named.empty()) {
        m_session.Fail("no lock key " + m_line.Operands().front() + " is plugged in: see 'corvane-admin sticks'");
        return std::nullopt;
    }
    status = m_session.UsageError("lock keys " + JoinIds(texts) +
                                  " are plugged in: name one, as in 'corvane-admin register " + texts.front() + "'");
    return std::nullopt;
}

int CKeyCommands::Register()
{
    if (!m_session.MayWrite()) {
        return kExitFailed;
    }
    CLockKeyScanner scanner(m_session.Environment().storage);
    scanner.Scan();
    int status = kExitFailed;
    const std::optional<size_t> index = SelectStick(scanner, status);
    if (!index) {
        return status;
    }
    const CLockKeyEntry& entry = scanner.GetEntry(*index);
    ELockKeyFault fault = ELockKeyFault::None;
    ERegisterOutcome outcome = m_session.Tasks().RegisterLockKey(&entry, EReplace::Ask, &fault);
    if (outcome == ERegisterOutcome::AskToReplace) {
        const std::string& id = entry.GetId();
        if (!m_session.Confirm(id + " is registered already. Replace its key with the one on " +
                                   entry.GetDisplayText() + "?",
                               m_line.Has(kOptionYes), "add --yes to replace the key of " + id)) {
            m_session.Out() << "Nothing changed.\n";
            return kExitFailed;
        }
        outcome = m_session.Tasks().RegisterLockKey(&entry, EReplace::Allowed, &fault);
    }
    return ReportRegistration(outcome, fault, entry);
}

int CKeyCommands::ReportRegistration(ERegisterOutcome outcome, ELockKeyFault fault, const CLockKeyEntry& entry)
{
    const std::string what = entry.GetDisplayText();
    switch (outcome) {
    case ERegisterOutcome::Stored:
        m_session.Out() << "Registered " << SafeText(entry.GetId()) << " from " << SafeText(what) << ".\n";
        return kExitSuccess;
    case ERegisterOutcome::CorruptKey:
        return m_session.Fail("cannot register " + what + ": " + FaultText(fault) + ": " + FaultAdvice(fault));
    case ERegisterOutcome::WriteFailed:
        if (fault != ELockKeyFault::None) {
            return m_session.Fail("cannot register " + what + ": " + FaultText(fault) + ": " + FaultAdvice(fault));
        }
        return m_session.Fail("the key store refused the key of " + what +
                              ": nothing changed; check the state directory and free space");
    case ERegisterOutcome::NothingSelected:
    case ERegisterOutcome::AskToReplace:
        break;
    }
    return m_session.Fail("no lock key was registered");
}

int CKeyCommands::Delete()
{
    if (!m_session.MayWrite()) {
        return kExitFailed;
    }
    const std::vector<std::string> ids = UpperIds(m_line.Operands().begin(), m_line.Operands().end());
    if (!m_session.Confirm("Delete the registration" + std::string(ids.size() == 1 ? "" : "s") + " of " + JoinIds(ids) +
                               "?",
                           m_line.Has(kOptionYes), "add --yes to delete without a question")) {
        m_session.Out() << "Nothing deleted.\n";
        return kExitFailed;
    }
    const SDeleteResult result = m_session.Tasks().DeleteRegistrations(ids);
    for (const std::string& id : result.deleted) {
        m_session.Out() << "Deleted " << SafeText(id) << ".\n";
    }
    if (result.outcome != EDeleteOutcome::Failed) {
        return kExitSuccess;
    }
    const auto registered = m_session.Tasks().ReadRegistrations();
    const bool known =
        !registered || std::find(registered->begin(), registered->end(), result.failedId) != registered->end();
    return m_session.Fail("could not delete " + result.failedId +
                          (known ? ": the key store refused it" : ": it is not registered") +
                          "; the IDs after it were left alone (see 'corvane-admin list')");
}
