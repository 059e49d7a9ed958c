#include "admin/win32/CConsoleTerminal.h"

#include "keys/AsciiCase.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"

#include <atomic>

namespace {

bool IsConsole(HANDLE handle)
{
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != FALSE;
}

// What the control handler puts back before Ctrl+C or Ctrl+Break ends the program: it runs
// on a thread of its own, and the process ends after it. The output code page (0: not
// changed) and the mode of a console whose echo is off (none: nullptr).
std::atomic<UINT> g_savedCodePage{0};
std::atomic<HANDLE> g_quietConsole{nullptr};
std::atomic<DWORD> g_savedMode{0};

BOOL WINAPI RestoreBeforeTheEnd(DWORD /*event*/)
{
    if (const HANDLE console = g_quietConsole.load(); console != nullptr) {
        SetConsoleMode(console, g_savedMode.load());
    }
    if (const UINT codePage = g_savedCodePage.load(); codePage != 0) {
        SetConsoleOutputCP(codePage);
    }
    return FALSE; // the next handler (the system's: the end of the process) runs
}

// Echo off while it lives. Line input stays on (so the line can still be edited), and so
// does processed input: Ctrl+C ends the program through the control handler instead of
// becoming part of the password.
class CEchoOff
{
public:
    explicit CEchoOff(HANDLE console) : m_console(console)
    {
        DWORD mode = 0;
        m_active = GetConsoleMode(console, &mode) != FALSE;
        if (!m_active) {
            return;
        }
        g_savedMode = mode;
        g_quietConsole = console;
        SetConsoleMode(console,
                       (mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT);
    }

    ~CEchoOff()
    {
        if (!m_active) {
            return;
        }
        g_quietConsole = nullptr;
        SetConsoleMode(m_console, g_savedMode.load());
    }

    CEchoOff(const CEchoOff&) = delete;
    CEchoOff& operator=(const CEchoOff&) = delete;

private:
    HANDLE m_console;
    bool m_active = false;
};

} // namespace

CConsoleTerminal::CConsoleTerminal() : m_input(GetStdHandle(STD_INPUT_HANDLE)), m_output(GetStdHandle(STD_ERROR_HANDLE))
{
    SetConsoleCtrlHandler(RestoreBeforeTheEnd, TRUE);
    if (IsConsole(GetStdHandle(STD_OUTPUT_HANDLE)) || IsConsole(m_output)) {
        g_savedCodePage = GetConsoleOutputCP();
        SetConsoleOutputCP(CP_UTF8);
    }
}

CConsoleTerminal::~CConsoleTerminal()
{
    // The code page is the console's, shared with the shell that started this program.
    if (const UINT codePage = g_savedCodePage.exchange(0); codePage != 0) {
        SetConsoleOutputCP(codePage);
    }
    SetConsoleCtrlHandler(RestoreBeforeTheEnd, FALSE);
}

bool CConsoleTerminal::IsInteractive()
{
    return IsConsole(m_input) && IsConsole(m_output);
}

bool CConsoleTerminal::Ask(const std::string& question)
{
    Write(question + " [y/N] ");
    const std::string answer = LowerAscii(ReadLine().value_or(""));
    return answer == "y" || answer == "yes";
}

std::optional<std::string> CConsoleTerminal::ReadSecret(const std::string& prompt)
{
    std::optional<std::string> line;
    {
        // Off before the prompt shows, so that nothing typed after it is echoed.
        const CEchoOff echoOff(m_input);
        Write(prompt);
        line = ReadLine();
    }
    // The line end typed was not echoed either.
    Write("\r\n");
    return line;
}

bool CConsoleTerminal::ShowsProgress()
{
    return IsConsole(m_output);
}

void CConsoleTerminal::Progress(const std::string& line)
{
    // Spaces over what is left of a longer line before: the console has no erase sequence
    // unless its virtual terminal mode is on.
    const size_t width = Platform::Widen(line).size();
    Write("\r" + line + (width < m_progressWidth ? std::string(m_progressWidth - width, ' ') : std::string()));
    m_progressWidth = width;
}

void CConsoleTerminal::EndProgress()
{
    Write("\r\n");
    m_progressWidth = 0;
}

void CConsoleTerminal::Write(const std::string& text) const
{
    if (IsConsole(m_output)) {
        const std::wstring wide = Platform::Widen(text);
        DWORD written = 0;
        WriteConsoleW(m_output, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    DWORD written = 0;
    WriteFile(m_output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// One line without its end; nullopt at the end of input before any character (Ctrl+Z as
// the first character of a line, as the command prompt has it) or on an error.
std::optional<std::string> CConsoleTerminal::ReadLine() const
{
    // Gathered whole before it is converted, so that a character of two UTF-16 units split
    // between two reads stays one character.
    std::wstring line;
    wchar_t buffer[256];
    while (true) {
        DWORD got = 0;
        if (ReadConsoleW(m_input, buffer, static_cast<DWORD>(std::size(buffer)), &got, nullptr) == FALSE || got == 0) {
            return line.empty() ? std::nullopt : std::optional<std::string>(Platform::Narrow(line));
        }
        line.append(buffer, got);
        if (const size_t end = line.find(L'\n'); end != std::wstring::npos) {
            line.resize(end);
            break;
        }
    }
    if (!line.empty() && line.back() == L'\r') {
        line.pop_back();
    }
    if (!line.empty() && line.front() == L'\x1A') {
        return std::nullopt;
    }
    return Platform::Narrow(line);
}
