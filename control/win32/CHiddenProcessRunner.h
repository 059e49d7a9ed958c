#pragma once

#include "control/CCommandLineRunner.h"

// Starts a command line as a new process whose window is hidden (the program found by the
// system's usual search for the first word), and waits for its end without time limit.
class CHiddenProcessRunner : public CCommandLineRunner
{
public:
    std::optional<uint32_t> StartAndWait(char* commandLine) override;
};
