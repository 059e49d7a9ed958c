#include "CAdminCommandLine.h"

#include <charconv>

namespace {

struct SOptionName
{
    const char* longName;
    const char* shortName;
    EAdminOption option;
};

constexpr SOptionName kOptionNames[] = {
    {"--yes", "-y", kOptionYes},
    {"--stdin", nullptr, kOptionStdin},
    {"--all", nullptr, kOptionAll},
    {"--force", nullptr, kOptionForce},
    {"--json", nullptr, kOptionJson},
    {"--secret-stdin", nullptr, kOptionSecretStdin},
    {"--serving-only", nullptr, kOptionServingOnly},
};

bool IsHelp(const std::string& arg)
{
    return arg == "--help" || arg == "-h";
}

std::string SeeHelp(const SCommandEntry* command)
{
    return command == nullptr ? ": see 'corvane-admin --help'"
                              : ": see 'corvane-admin " + std::string(command->name) + " --help'";
}

} // namespace

bool CAdminCommandLine::Parse(const std::vector<std::string>& args, std::string& error)
{
    if (args.empty()) {
        error = "no command given" + SeeHelp(nullptr);
        return false;
    }
    const bool helpFirst = IsHelp(args[0]) || args[0] == "help";
    if (helpFirst && args.size() == 1) {
        m_help = true;
        return true;
    }
    if (args[0] == "--version" && args.size() == 1) {
        m_version = true;
        return true;
    }
    const std::string& name = helpFirst ? args[1] : args[0];
    m_command = FindCommand(name);
    if (m_command == nullptr) {
        error = "unknown command '" + name + "'" + SeeHelp(nullptr);
        return false;
    }
    if (helpFirst) {
        m_help = true;
        return true;
    }
    bool optionsEnded = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && IsHelp(arg)) {
            m_help = true;
        } else if (!optionsEnded && arg == "--timeout" && (m_command->options & kOptionTimeOut) != 0) {
            if (!ParseTimeOut(i + 1 < args.size() ? args[++i] : std::string(), error)) {
                return false;
            }
        } else if (!optionsEnded && arg == "--keep" && (m_command->options & kOptionKeep) != 0) {
            m_options |= kOptionKeep;
            m_keep = i + 1 < args.size() ? args[++i] : std::string();
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            if (!ParseOption(arg, error)) {
                return false;
            }
        } else {
            m_operands.push_back(arg);
        }
    }
    if (!m_help && (m_operands.size() < m_command->minOperands || m_operands.size() > m_command->maxOperands)) {
        error = std::string(m_operands.size() < m_command->minOperands ? "too few" : "too many") + " arguments for " +
                m_command->name + SeeHelp(m_command);
        return false;
    }
    return true;
}

bool CAdminCommandLine::ParseTimeOut(const std::string& value, std::string& error)
{
    // Whole seconds, or with a fraction of up to three digits where the command takes one.
    const bool fine = (m_command->options & kOptionFineTimeOut) != 0;
    const size_t point = fine ? value.find('.') : std::string::npos;
    const std::string whole = value.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : value.substr(point + 1);
    unsigned seconds = 0;
    unsigned thousandths = 0;
    const auto digits = [](const std::string& text, unsigned& number) {
        const auto [end, failed] = std::from_chars(text.data(), text.data() + text.size(), number);
        return !text.empty() && failed == std::errc() && end == text.data() + text.size();
    };
    const bool valid = digits(whole, seconds) &&
                       (point == std::string::npos || (fraction.size() <= 3 && digits(fraction, thousandths)));
    for (size_t i = fraction.size(); i < 3; ++i) {
        thousandths *= 10;
    }
    const unsigned ms = seconds > 3600 ? 0 : seconds * 1000 + thousandths;
    if (!valid || ms < (fine ? 1u : 1000u) || ms > 3600000) {
        error = std::string(fine ? "--timeout needs a number of seconds above 0 and up to 3600 (as 0.5)"
                                 : "--timeout needs a number of seconds from 1 to 3600") +
                SeeHelp(m_command);
        return false;
    }
    m_options |= kOptionTimeOut;
    m_timeOutMs = static_cast<int32_t>(ms);
    return true;
}

bool CAdminCommandLine::ParseOption(const std::string& arg, std::string& error)
{
    for (const SOptionName& name : kOptionNames) {
        if (arg != name.longName && (name.shortName == nullptr || arg != name.shortName)) {
            continue;
        }
        if ((m_command->options & name.option) == 0) {
            break;
        }
        m_options |= name.option;
        return true;
    }
    error = std::string(m_command->name) + " takes no option " + arg + SeeHelp(m_command);
    return false;
}
