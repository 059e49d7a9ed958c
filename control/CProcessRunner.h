#pragma once

#include <string>
#include <vector>

// Runs a program to its end: the seam through which the control program drives systemd
// and the firewall tools.
class CProcessRunner
{
public:
    virtual ~CProcessRunner() = default;
    // The program's exit code, with its standard output and error (together) in *output;
    // -1 when it could not be started or did not exit by itself.
    virtual int Run(const std::vector<std::string>& argv, std::string* output = nullptr) = 0;
};
