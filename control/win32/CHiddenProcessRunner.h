#pragma once

#include "control/CProcessRunner.h"

// Starts the command line of the words as a new process whose window is hidden (the
// program found by the system's usual search for the first word), and waits for its end
// without time limit. What the program writes is not read: it inherits no handle.
class CHiddenProcessRunner : public CProcessRunner
{
public:
    int Run(const std::vector<std::string>& argv, std::string* output = nullptr) override;
};
