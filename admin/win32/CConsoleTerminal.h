#pragma once

#include "admin/CTerminal.h"

#include <cstddef>

// The terminal on Windows: the console of standard input and standard error, read and
// written in UTF-16 through the console API, so that any text shows whatever the console's
// code page. A password is read with echo switched off; the console's mode is restored
// after it, and before Ctrl+C or Ctrl+Break ends the program meanwhile. While it lives, the
// console shows standard output's UTF-8 as such; its code page is put back at the end, by
// Ctrl+C too. One at a time: the control handler's state is the process's.
class CConsoleTerminal : public CTerminal
{
public:
    CConsoleTerminal();
    ~CConsoleTerminal() override;
    CConsoleTerminal(const CConsoleTerminal&) = delete;
    CConsoleTerminal& operator=(const CConsoleTerminal&) = delete;

    bool IsInteractive() override;
    bool Ask(const std::string& question) override;
    std::optional<std::string> ReadSecret(const std::string& prompt) override;
    bool ShowsProgress() override;
    void Progress(const std::string& line) override;
    void EndProgress() override;

private:
    void Write(const std::string& text) const;
    std::optional<std::string> ReadLine() const;

    void* m_input;
    void* m_output;
    // The width of the progress line shown last, which the next one covers.
    size_t m_progressWidth = 0;
};
