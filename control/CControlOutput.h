#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

// The boxes the control program shows: warnings and errors with their prefixes, the help
// and the status box.
enum class EControlBox
{
    Warning,
    Error,
    Help,
    Status,
};

// The control program's message channels. Info and debug texts are built but not shown;
// the other channels go to the program's way of showing a box: message boxes on Windows,
// terminal lines elsewhere.
class CControlOutput
{
public:
    using BoxShower = std::function<void(EControlBox box, const std::string& text)>;

    explicit CControlOutput(BoxShower show) : m_show(std::move(show)) {}
    // As terminal lines: warning and error boxes on err, the help and status boxes on out.
    CControlOutput(std::ostream& out, std::ostream& err);

    void Info(std::string_view /*text*/) {}
    void Debug(std::string_view /*text*/) {}
    void Warning(std::string_view text);
    void Error(std::string_view text);
    void Help();
    void Status(uint32_t state);

    static std::string StatusBoxText(uint32_t state);

private:
    BoxShower m_show;
};
