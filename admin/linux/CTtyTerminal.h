#pragma once

#include "admin/CTerminal.h"

#include <unistd.h>

// The terminal on Linux: questions are read from the input descriptor and shown on the
// output descriptor (standard input and standard error), both of which must be terminals.
// A password is read with echo switched off; a signal that ends the program meanwhile
// restores the echo first.
class CTtyTerminal : public CTerminal
{
public:
    explicit CTtyTerminal(int input = STDIN_FILENO, int output = STDERR_FILENO) : m_input(input), m_output(output) {}

    bool IsInteractive() override;
    bool Ask(const std::string& question) override;
    std::optional<std::string> ReadSecret(const std::string& prompt) override;
    bool ShowsProgress() override;
    void Progress(const std::string& line) override;
    void EndProgress() override;

private:
    void Write(const std::string& text) const;
    std::optional<std::string> ReadLine() const;

    int m_input;
    int m_output;
};
