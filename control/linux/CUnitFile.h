#pragma once

#include <string>
#include <string_view>

// The text of a systemd unit, edited line by line: the executable filled into the
// template's placeholder, single settings replaced within their section.
class CUnitFile
{
public:
    explicit CUnitFile(std::string text) : m_text(std::move(text)) {}

    // Puts the path, quoted and escaped for systemd, in place of the placeholder. False
    // when there is no placeholder or the path holds a character a unit cannot carry.
    bool SetExecutable(std::string_view path);
    // Replaces the first "key=" line of the section, or adds one at the section's end;
    // false when the section is missing or the value would break the line.
    bool SetValue(std::string_view section, std::string_view key, std::string_view value);
    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
};
