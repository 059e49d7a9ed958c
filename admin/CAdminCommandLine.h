#pragma once

#include "admin/CommandTable.h"

#include <cstdint>
#include <string>
#include <vector>

// The arguments of one run of corvane-admin: the command, its options and its operands.
class CAdminCommandLine
{
public:
    // Parses the arguments after the program name. False on a usage error, with error set
    // to one line that says what to do.
    bool Parse(const std::vector<std::string>& args, std::string& error);

    // nullptr when no command was named (only help or the version was asked for).
    const SCommandEntry* Command() const { return m_command; }
    bool WantsHelp() const { return m_help; }
    bool WantsVersion() const { return m_version; }
    bool Has(EAdminOption option) const { return (m_options & option) != 0; }
    const std::vector<std::string>& Operands() const { return m_operands; }
    // --timeout's, in milliseconds (when Has(kOptionTimeOut)).
    int32_t TimeOutMs() const { return m_timeOutMs; }
    // The value of --keep; empty without it.
    const std::string& Keep() const { return m_keep; }

private:
    bool ParseOption(const std::string& arg, std::string& error);
    bool ParseTimeOut(const std::string& value, std::string& error);

    const SCommandEntry* m_command = nullptr;
    bool m_help = false;
    bool m_version = false;
    unsigned m_options = 0;
    int32_t m_timeOutMs = 0;
    std::vector<std::string> m_operands;
    std::string m_keep;
};
