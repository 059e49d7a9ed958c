#pragma once

#include <string>
#include <vector>

// Runs a program to its end: the seam through which the control program drives the
// service manager's and the firewall's tools. On Linux the words are the program's
// arguments, started without a shell; on Windows they are joined by blanks into the
// command line as they stand (a Windows program splits its own command line, so a word
// carries its own quotes), and the program runs in a hidden window.
class CProcessRunner
{
public:
    virtual ~CProcessRunner() = default;
    // The program's exit code; -1 when it could not be started, did not exit by itself or
    // its exit code could not be read. Where output is given it receives what the program
    // wrote to its standard output and error, together; a Windows program's output is not
    // read (the netsh runs need none), so it stays empty there.
    virtual int Run(const std::vector<std::string>& argv, std::string* output = nullptr) = 0;
};
