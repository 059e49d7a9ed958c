#include "CGuardCommands.h"

#include "admin/AdminText.h"
#include "admin/ExitStatus.h"
#include "admin/JsonText.h"
#include "net/CSubnet.h"
#include "platform/SafeText.h"
#include "settings/GuardCounts.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <ostream>

namespace {

// Digits only, no leading zero, within 1..limit.
std::optional<uint32_t> ParseCount(const std::string& text, uint32_t limit)
{
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || text[0] == '0' || error != std::errc() || end != text.data() + text.size() || value > limit) {
        return std::nullopt;
    }
    return value;
}

std::string ThrottleText(const SGuardSettings& settings)
{
    if (settings.throttleRate == 0) {
        return "off";
    }
    return std::to_string(settings.throttleRate) + " a second, burst " + std::to_string(settings.throttleBurst);
}

std::string ExemptText(const SGuardSettings& settings)
{
    // Written by this tool as subnets; anything else is shown escaped.
    return settings.exemptSubnets.empty() ? "none" : SafeText(settings.exemptSubnets);
}

} // namespace

std::optional<SGuardSettings> CGuardCommands::Stored()
{
    SGuardSettings settings;
    if (CGuardSettings::Read(settings) == 0) {
        m_session.StoreFailure(false);
        return std::nullopt;
    }
    return settings;
}

int CGuardCommands::Store(const SGuardSettings& settings, const std::string& done)
{
    if (CGuardSettings::Write(settings) == 0) {
        return m_session.Fail("the key store refused the change: the settings stay as they were");
    }
    m_session.Out() << done << "\n";
    return kExitSuccess;
}

int CGuardCommands::Throttle()
{
    const auto& operands = m_line.Operands();
    if (operands.empty()) {
        const auto settings = m_session.Registrations() ? Stored() : std::nullopt;
        if (!settings) {
            return kExitFailed;
        }
        m_session.Out() << ThrottleText(*settings) << "\n";
        return kExitSuccess;
    }
    const bool off = operands[0] == "off";
    const auto rate = off ? std::optional<uint32_t>(0) : ParseCount(operands[0], SGuardSettings::kMaxRate);
    const auto burst = operands.size() > 1 ? ParseCount(operands[1], SGuardSettings::kMaxBurst) : std::nullopt;
    if (!rate || (off && operands.size() > 1) || (operands.size() > 1 && !burst)) {
        return m_session.UsageError("throttle takes off, or a rate from 1 to " +
                                    std::to_string(SGuardSettings::kMaxRate) +
                                    " a second and optionally a burst from 1 to " +
                                    std::to_string(SGuardSettings::kMaxBurst) + ", digits only");
    }
    if (!m_session.MayWrite()) {
        return kExitFailed;
    }
    auto settings = Stored();
    if (!settings) {
        return kExitFailed;
    }
    settings->throttleRate = *rate;
    settings->throttleBurst = burst.value_or(settings->throttleBurst);
    return Store(*settings, off ? "Throttle off: peers may ask for unknown IDs and try passwords without limit."
                                : "Throttle set to " + ThrottleText(*settings) + " per peer.");
}

int CGuardCommands::PushLimit()
{
    const auto& operands = m_line.Operands();
    if (operands.empty()) {
        const auto settings = m_session.Registrations() ? Stored() : std::nullopt;
        if (!settings) {
            return kExitFailed;
        }
        m_session.Out() << (settings->pushLimit == 0 ? std::string("off") : std::to_string(settings->pushLimit))
                        << "\n";
        return kExitSuccess;
    }
    const bool off = operands[0] == "off";
    const auto limit = off ? std::optional<uint32_t>(0) : ParseCount(operands[0], UINT32_MAX);
    if (!limit) {
        return m_session.UsageError("push-limit takes off, or a number of registrations from 1, digits only");
    }
    if (!m_session.MayWrite()) {
        return kExitFailed;
    }
    auto settings = Stored();
    if (!settings) {
        return kExitFailed;
    }
    settings->pushLimit = *limit;
    return Store(*settings, off ? "Push limit off: cooperation pushes may add registrations without limit."
                                : "Push limit set: cooperation pushes may add registrations up to " +
                                      std::to_string(*limit) + " in all.");
}

int CGuardCommands::ReleaseCheck()
{
    const auto& operands = m_line.Operands();
    if (operands.empty()) {
        const auto settings = m_session.Registrations() ? Stored() : std::nullopt;
        if (!settings) {
            return kExitFailed;
        }
        m_session.Out() << CGuardSettings::CheckText(settings->releaseCheck) << "\nexempt: " << ExemptText(*settings)
                        << "\n";
        return kExitSuccess;
    }
    const std::string& word = operands[0];
    const std::pair<const char*, SGuardSettings::ReleaseCheck> modes[] = {
        {"off", SGuardSettings::ReleaseCheck::Off},
        {"log", SGuardSettings::ReleaseCheck::LogOnly},
        {"enforce", SGuardSettings::ReleaseCheck::Enforce},
    };
    const auto mode = std::find_if(std::begin(modes), std::end(modes), [&](const auto& m) { return word == m.first; });
    const bool exempt = word == "exempt" && operands.size() >= 3 && (operands[1] == "add" || operands[1] == "remove");
    if ((mode == std::end(modes) || operands.size() > 1) && !exempt) {
        return m_session.UsageError("release-check takes off, log, enforce, or exempt add|remove SUBNET...: see "
                                    "'corvane-admin release-check --help'");
    }
    if (!m_session.MayWrite()) {
        return kExitFailed;
    }
    auto settings = Stored();
    if (!settings) {
        return kExitFailed;
    }
    if (exempt) {
        return ChangeExempt(*settings);
    }
    settings->releaseCheck = mode->second;
    const char* done[] = {
        "Release check off: any peer is given the key it asks for.",
        "Release check logs each key asked for by a peer whose link-layer address is not its ID.",
        "Release check enforced: a peer is given only the key of its own link-layer address.",
    };
    return Store(*settings, done[static_cast<size_t>(mode->second)]);
}

int CGuardCommands::ChangeExempt(SGuardSettings settings)
{
    const auto& operands = m_line.Operands();
    // A list written by something else that does not parse is replaced as a whole.
    std::vector<ZiRez::CSubnet> subnets =
        ZiRez::CSubnet::ParseList(settings.exemptSubnets).value_or(std::vector<ZiRez::CSubnet>{});
    const bool add = operands[1] == "add";
    for (size_t i = 2; i < operands.size(); ++i) {
        const auto subnet = ZiRez::CSubnet::Parse(operands[i]);
        if (!subnet) {
            return m_session.UsageError("'" + operands[i] +
                                        "' is no subnet: give one as 192.0.2.0/24 or 2001:db8::/48, host bits zero");
        }
        const auto found = std::find(subnets.begin(), subnets.end(), *subnet);
        if (add && found == subnets.end()) {
            subnets.push_back(*subnet);
        } else if (!add && found != subnets.end()) {
            subnets.erase(found);
        } else if (!add) {
            return m_session.Fail(subnet->Text() + " is not exempt: nothing changed");
        }
    }
    settings.exemptSubnets = ZiRez::CSubnet::ListText(subnets);
    return Store(settings, "Exempt from the release check: " + ExemptText(settings) + ".");
}

void CGuardCommands::StatusLines()
{
    SGuardSettings settings;
    if (CGuardSettings::Read(settings) == 0) {
        return;
    }
    m_session.Out() << "Throttle:      " << ThrottleText(settings) << "\n"
                    << "Release check: " << CGuardSettings::CheckText(settings.releaseCheck)
                    << ", exempt: " << ExemptText(settings) << "\n";
    const auto counts = ReadGuardCounts(m_session.Environment().countsDirectory);
    m_session.Out() << "Last hour:     ";
    if (!counts) {
        m_session.Out() << "no counts (the service writes them once a minute while it runs)\n";
        return;
    }
    m_session.Out() << counts->throttled << " throttled, " << counts->mismatches << " release-check mismatches (as of "
                    << UtcMinuteText(counts->written).value_or("an unknown time") << ")\n";
}

void CGuardCommands::StatusJson(bool readable)
{
    SGuardSettings settings;
    readable = readable && CGuardSettings::Read(settings) == 1;
    const auto counts = ReadGuardCounts(m_session.Environment().countsDirectory);
    std::ostream& out = m_session.Out();
    if (!readable) {
        out << ", \"throttleRate\": null, \"throttleBurst\": null, \"releaseCheck\": null, \"releaseExempt\": null";
    } else {
        out << ", \"throttleRate\": " << settings.throttleRate << ", \"throttleBurst\": " << settings.throttleBurst
            << ", \"releaseCheck\": \"" << CGuardSettings::CheckText(settings.releaseCheck)
            << "\", \"releaseExempt\": [";
        const auto subnets = ZiRez::CSubnet::ParseList(settings.exemptSubnets).value_or(std::vector<ZiRez::CSubnet>{});
        for (size_t i = 0; i < subnets.size(); ++i) {
            out << (i == 0 ? "" : ", ") << JsonString(subnets[i].Text());
        }
        out << "]";
    }
    if (!counts) {
        out << ", \"lastHour\": null";
        return;
    }
    out << ", \"lastHour\": {\"throttled\": " << counts->throttled << ", \"mismatches\": " << counts->mismatches
        << ", \"asOf\": " << counts->written << "}";
}
