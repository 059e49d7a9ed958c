#include "StandIn.h"

#include <fstream>
#include <sys/stat.h>

CStandIn::CStandIn(const std::string& directory, const std::string& name, const std::vector<Rule>& rules)
    : m_path(directory + "/" + name), m_log(directory + "/" + name + ".calls")
{
    std::ofstream script(m_path);
    script << "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" << m_log << "'\ncase \"$*\" in\n";
    for (const auto& rule : rules) {
        std::string pattern;
        for (const char c : rule.pattern) {
            pattern += c == ' ' ? std::string("\\ ") : std::string(1, c);
        }
        script << "  " << pattern << ") printf '%b' '" << rule.output << "'; exit " << rule.status << ";;\n";
    }
    script << "esac\nexit 0\n";
    script.close();
    chmod(m_path.c_str(), 0755);
}

std::vector<std::string> CStandIn::Calls() const
{
    std::ifstream log(m_log);
    std::vector<std::string> calls;
    for (std::string line; std::getline(log, line);) {
        calls.push_back(line);
    }
    return calls;
}
