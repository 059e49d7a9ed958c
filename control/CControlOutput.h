#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

// The control program's message channels as terminal lines: warnings and errors on
// standard error with their prefixes, the help and status boxes on standard output.
// Info and debug texts are built but not shown, as the program has no window for them.
// Notices (what an administrator must know, such as where kept keys are) go to standard
// output; announcements of what a command is about to do only to a terminal.
class CControlOutput
{
public:
    CControlOutput(std::ostream& out, std::ostream& err, bool interactive = false)
        : m_out(out), m_err(err), m_interactive(interactive)
    {}

    void Info(std::string_view /*text*/) {}
    void Debug(std::string_view /*text*/) {}
    void Warning(std::string_view text);
    void Error(std::string_view text);
    void Notice(std::string_view text);
    void Announce(std::string_view text);
    void Help();
    void Version();
    void Status(uint32_t state);

    static std::string StatusBoxText(uint32_t state);

private:
    std::ostream& m_out;
    std::ostream& m_err;
    bool m_interactive;
};
