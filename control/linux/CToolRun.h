#pragma once

#include <string>
#include <vector>

class CProcessRunner;

// Runs one firewall tool and keeps what it said when a step failed.
class CToolRun
{
public:
    CToolRun(std::string program, CProcessRunner& runner) : m_program(std::move(program)), m_runner(runner) {}

    // True when the tool exited with 0; its output in *output.
    bool Run(const std::vector<std::string>& arguments, std::string* output = nullptr);
    // Like Run, but a failure is not recorded: for questions whose answer may be no.
    bool Ask(const std::vector<std::string>& arguments, std::string* output = nullptr);
    // For a step of the caller's own that failed.
    void RecordFailure(std::string text) { m_lastFailure = std::move(text); }
    const std::string& LastFailure() const { return m_lastFailure; }

private:
    int Execute(const std::vector<std::string>& arguments, std::string* output);

    std::string m_program;
    CProcessRunner& m_runner;
    std::string m_lastFailure;
};
