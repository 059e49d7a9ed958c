#include "CToolRun.h"

#include "control/CProcessRunner.h"

bool CToolRun::Run(const std::vector<std::string>& arguments, std::string* output)
{
    std::string said;
    const int status = Execute(arguments, &said);
    if (status != 0) {
        std::string command = m_program;
        for (const auto& argument : arguments) {
            command += " " + argument;
        }
        while (!said.empty() && said.back() == '\n') {
            said.pop_back();
        }
        m_lastFailure = command + " (exit " + std::to_string(status) + "): " + said;
    }
    if (output != nullptr) {
        *output = std::move(said);
    }
    return status == 0;
}

bool CToolRun::Ask(const std::vector<std::string>& arguments, std::string* output)
{
    return Execute(arguments, output) == 0;
}

int CToolRun::Execute(const std::vector<std::string>& arguments, std::string* output)
{
    std::vector<std::string> argv{m_program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return m_runner.Run(argv, output);
}
