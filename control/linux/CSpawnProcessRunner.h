#pragma once

#include "control/CProcessRunner.h"

// Starts the program directly (no shell), with standard input on /dev/null so that no
// tool waits for an answer, and collects everything it prints.
class CSpawnProcessRunner : public CProcessRunner
{
public:
    int Run(const std::vector<std::string>& argv, std::string* output = nullptr) override;
};
