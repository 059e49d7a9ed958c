#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

// The boxes the control program shows: warnings and errors with their prefixes, notices
// (what an administrator must know, such as where kept keys are), the help, version and
// status boxes.
enum class EControlBox
{
    Warning,
    Error,
    Notice,
    Help,
    Version,
    Status,
};

// The control program's message channels. Info and debug texts are built but not shown;
// the others go to the program's way of showing a box: message boxes on Windows, terminal
// lines elsewhere. Announcements of what a command is about to do are notices shown only
// to an interactive user.
class CControlOutput
{
public:
    using BoxShower = std::function<void(EControlBox box, const std::string& text)>;

    explicit CControlOutput(BoxShower show, bool interactive = false)
        : m_show(std::move(show)), m_interactive(interactive)
    {}
    // As terminal lines: warning and error boxes on err, the others on out.
    CControlOutput(std::ostream& out, std::ostream& err, bool interactive = false);

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
    BoxShower m_show;
    bool m_interactive;
};
