#pragma once

#include <string>
#include <vector>

// A recording stand-in for a command-line tool: a shell script that logs the arguments
// of every call and answers it by the first rule whose shell pattern matches them.
class CStandIn
{
public:
    struct Rule
    {
        std::string pattern;
        std::string output;
        int status = 0;
    };

    CStandIn(const std::string& directory, const std::string& name, const std::vector<Rule>& rules);

    const std::string& Path() const { return m_path; }
    // Each call's arguments joined by blanks, in order.
    std::vector<std::string> Calls() const;

private:
    std::string m_path;
    std::string m_log;
};
