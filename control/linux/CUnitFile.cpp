#include "CUnitFile.h"

namespace {

constexpr std::string_view kExecutablePlaceholder = "@TERNWICK_EXECUTABLE@";

bool HasControlCharacter(std::string_view text)
{
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return true;
        }
    }
    return false;
}

// A double-quoted word of a command line: backslash and quote escaped, '%' doubled so
// that systemd takes no specifier from it.
std::string QuotedForUnit(std::string_view path)
{
    std::string quoted = "\"";
    for (const char c : path) {
        if (c == '\\' || c == '"') {
            quoted += '\\';
        } else if (c == '%') {
            quoted += '%';
        }
        quoted += c;
    }
    return quoted + "\"";
}

// Where the line that starts at position ends (its newline, or the end of the text).
size_t LineEnd(const std::string& text, size_t position)
{
    const size_t end = text.find('\n', position);
    return end == std::string::npos ? text.size() : end;
}

} // namespace

bool CUnitFile::SetExecutable(std::string_view path)
{
    const size_t at = m_text.find(kExecutablePlaceholder);
    if (at == std::string::npos || path.empty() || HasControlCharacter(path)) {
        return false;
    }
    m_text.replace(at, kExecutablePlaceholder.size(), QuotedForUnit(path));
    return true;
}

bool CUnitFile::SetValue(std::string_view section, std::string_view key, std::string_view value)
{
    if (HasControlCharacter(value)) {
        return false;
    }
    const std::string header = "[" + std::string(section) + "]";
    const std::string newLine = std::string(key) + "=" + std::string(value);
    size_t position = 0;
    bool inSection = false;
    size_t sectionEnd = std::string::npos;
    while (position < m_text.size()) {
        const size_t end = LineEnd(m_text, position);
        const std::string_view line(m_text.data() + position, end - position);
        if (!line.empty() && line.front() == '[') {
            if (inSection) {
                break;
            }
            inSection = line == header;
            if (inSection) {
                sectionEnd = end;
            }
        } else if (inSection) {
            if (line.substr(0, key.size() + 1) == newLine.substr(0, key.size() + 1)) {
                m_text.replace(position, end - position, newLine);
                return true;
            }
            if (!line.empty()) {
                sectionEnd = end;
            }
        }
        position = end + 1;
    }
    if (sectionEnd == std::string::npos) {
        return false;
    }
    m_text.insert(sectionEnd, "\n" + newLine);
    return true;
}
