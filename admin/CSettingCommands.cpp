#include "CSettingCommands.h"

#include "admin/AdminSystem.h"
#include "admin/AdminText.h"
#include "admin/CGuardCommands.h"
#include "admin/ExitStatus.h"
#include "admin/JsonText.h"
#include "admin/LocalCheck.h"
#include "platform/SafeText.h"

#include <ostream>

namespace {

// After the text of an unknown state, which the system gives.
constexpr const char* kStateTexts[] = {
    "", "stopped", "starting", "stopping", "running", "continuing", "pausing", "paused",
};

// The same states as names for scripts.
constexpr const char* kStateNames[] = {
    "not-installed", "stopped", "starting", "stopping", "running", "continuing", "pausing", "paused",
};
constexpr uint32_t kStateCount = sizeof kStateTexts / sizeof kStateTexts[0];
static_assert(sizeof kStateNames / sizeof kStateNames[0] == kStateCount);

std::string StateText(uint32_t state)
{
    return state != 0 && state < kStateCount ? kStateTexts[state] : AdminSystem::UnknownServiceText();
}

// Whether a key service answers a check request on the port of this computer.
bool Answers(const std::string& port)
{
    return CheckLocalService(ResolveTarget({"", port, ""}).port) == ECopyOutcome::Done;
}

} // namespace

std::optional<std::string> CSettingCommands::StoredPort()
{
    const std::string port = m_session.Tasks().PortText();
    if (port == "0") {
        m_session.StoreFailure(false);
        return std::nullopt;
    }
    return port;
}

int CSettingCommands::Port()
{
    if (!m_line.Operands().empty()) {
        return ChangePort(m_line.Operands().front());
    }
    const auto port = m_session.Registrations() ? StoredPort() : std::nullopt;
    if (!port) {
        return kExitFailed;
    }
    m_session.Out() << *port << "\n";
    return kExitSuccess;
}

int CSettingCommands::ChangePort(const std::string& text)
{
    if (!m_session.MayWrite()) {
        return kExitFailed;
    }
    const std::string current = m_session.Tasks().PortText();
    // The service's own port is held (by the service), so the probe would refuse it: the
    // store already says what was asked.
    if (text == current && current != "0") {
        m_session.Out() << "The port is " << text << " already.\n";
        return kExitSuccess;
    }
    switch (m_session.Tasks().ChangePort(text)) {
    case EPortOutcome::Changed:
        m_session.Out() << "Port set to " << text << ".\n";
        return kExitSuccess;
    case EPortOutcome::Empty:
    case EPortOutcome::Invalid:
        return m_session.UsageError("'" + text + "' is not a port: give a number from 1 to 65535, digits only");
    case EPortOutcome::InUse:
        return m_session.Fail("port " + text + " is in use by another program: choose another port");
    case EPortOutcome::WriteFailed:
        break;
    }
    return m_session.Fail("the key store refused the new port: port " + current + " stays");
}

int CSettingCommands::Password()
{
    const std::string word = m_line.Operands().empty() ? "" : m_line.Operands().front();
    if (word == "set") {
        return SetPassword();
    }
    if (m_line.Has(kOptionStdin)) {
        return m_session.UsageError("--stdin goes with 'password set' only");
    }
    if (word == "off") {
        if (!m_session.MayWrite()) {
            return kExitFailed;
        }
        return ReportPassword(m_session.Tasks().ChangePassword(false, "", ""), "Cooperation is not permitted now.");
    }
    if (!word.empty()) {
        return m_session.UsageError("password takes set or off, not '" + word +
                                    "': see 'corvane-admin password --help'");
    }
    if (!m_session.Registrations()) {
        return kExitFailed;
    }
    m_session.Out() << (m_session.Tasks().IsCooperationPermitted() ? "Cooperation is permitted.\n"
                                                                   : "Cooperation is not permitted.\n");
    return kExitSuccess;
}

int CSettingCommands::SetPassword()
{
    if (!m_session.MayWrite()) {
        return kExitFailed;
    }
    const auto typed = m_session.ReadNewPassword(m_line.Has(kOptionStdin));
    if (!typed) {
        return kExitFailed;
    }
    return ReportPassword(m_session.Tasks().ChangePassword(true, typed->first, typed->second),
                          "Cooperation is permitted with the new password.");
}

int CSettingCommands::ReportPassword(EPasswordOutcome outcome, const std::string& done)
{
    switch (outcome) {
    case EPasswordOutcome::Changed:
        m_session.Out() << done << "\n";
        return kExitSuccess;
    case EPasswordOutcome::Mismatch:
        return m_session.Fail("the two passwords differ: nothing changed; try again");
    case EPasswordOutcome::Empty:
        return m_session.Fail(
            "the password is empty: give one, or withdraw the permission with 'corvane-admin password off'");
    case EPasswordOutcome::Unrepresentable:
        return m_session.Fail("the password holds a character that code page 932 (Japanese Windows) cannot "
                              "represent: nothing changed; use other characters");
    case EPasswordOutcome::TooLong:
        return m_session.Fail("the password takes more than 20 bytes in code page 932 (a Japanese character "
                              "takes 2): nothing changed; use a shorter one");
    case EPasswordOutcome::WriteFailed:
        break;
    }
    return m_session.Fail("the key store refused the password: the old one stays");
}

int CSettingCommands::Status()
{
    if (m_line.Has(kOptionJson)) {
        return StatusAsJson();
    }
    const auto& serviceState = m_session.Environment().serviceState;
    m_session.Out() << "Service:       " << StateText(serviceState ? serviceState() : 0) << "\n";
    const auto ids = m_session.Registrations();
    const auto port = ids ? StoredPort() : std::nullopt;
    if (!port) {
        return kExitFailed;
    }
    const bool answers = Answers(*port);
    m_session.Out() << "Port:          " << *port << (answers ? ", answers" : ", nothing answers there") << "\n"
                    << "Cooperation:   " << (m_session.Tasks().IsCooperationPermitted() ? "permitted" : "not permitted")
                    << "\n"
                    << "Registrations: " << ids->size() << "\n";
    CGuardCommands(m_session, m_line).StatusLines();
    m_session.Out() << "Key store:     " << SafeText(m_session.Environment().storeLocation) << "\n";
    return answers ? kExitSuccess : kExitFailed;
}

int CSettingCommands::StatusAsJson()
{
    const auto& serviceState = m_session.Environment().serviceState;
    uint32_t state = serviceState ? serviceState() : 0;
    state = state < kStateCount ? state : 0;
    const auto ids = m_session.Registrations();
    const auto port = ids ? StoredPort() : std::nullopt;
    const bool answers = port && Answers(*port);
    const char* const null = "null";
    m_session.Out() << "{\"service\": \"" << kStateNames[state] << "\", \"serviceState\": " << state
                    << ", \"port\": " << (port ? *port : null) << ", \"answers\": " << (answers ? "true" : "false")
                    << ", \"cooperation\": "
                    << (!port                                        ? null
                        : m_session.Tasks().IsCooperationPermitted() ? "true"
                                                                     : "false")
                    << ", \"registrations\": " << (port ? std::to_string(ids->size()) : null);
    CGuardCommands(m_session, m_line).StatusJson(port.has_value());
    m_session.Out() << ", \"keyStore\": " << JsonString(m_session.Environment().storeLocation) << "}\n";
    return answers ? kExitSuccess : kExitFailed;
}
