#pragma once

#include <cstdint>
#include <optional>

// Starts a command line as a new process with a hidden window and waits for it without
// time limit: the process seam of the netsh firewall.
class CCommandLineRunner
{
public:
    virtual ~CCommandLineRunner() = default;
    // The exit code; nullopt when the process could not be started or its exit code not
    // read. The buffer is writable, as the system may change it.
    virtual std::optional<uint32_t> StartAndWait(char* commandLine) = 0;
};
