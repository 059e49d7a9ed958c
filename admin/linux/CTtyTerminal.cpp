#include "admin/linux/CTtyTerminal.h"

#include "keys/AsciiCase.h"

#include <cerrno>
#include <csignal>
#include <termios.h>

namespace {

volatile sig_atomic_t g_caughtSignal = 0;

void CatchSignal(int number)
{
    g_caughtSignal = number;
}

// The signals that end a program from its terminal or its session.
constexpr int kEndingSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};
constexpr size_t kEndingSignalCount = sizeof kEndingSignals / sizeof kEndingSignals[0];

// Echo off (the line end still shows) while it lives. A signal that would end the program
// meanwhile interrupts the read instead; once the terminal is as it was, the signal is
// raised again with its own action.
class CEchoOff
{
public:
    explicit CEchoOff(int fd) : m_fd(fd)
    {
        m_active = tcgetattr(fd, &m_saved) == 0;
        if (!m_active) {
            return;
        }
        struct sigaction catching
        {};
        catching.sa_handler = CatchSignal;
        sigemptyset(&catching.sa_mask);
        for (size_t i = 0; i < kEndingSignalCount; ++i) {
            sigaction(kEndingSignals[i], &catching, &m_actions[i]);
        }
        termios quiet = m_saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        tcsetattr(fd, TCSADRAIN, &quiet);
    }

    ~CEchoOff()
    {
        if (!m_active) {
            return;
        }
        tcsetattr(m_fd, TCSANOW, &m_saved);
        for (size_t i = 0; i < kEndingSignalCount; ++i) {
            sigaction(kEndingSignals[i], &m_actions[i], nullptr);
        }
        const int caught = g_caughtSignal;
        g_caughtSignal = 0;
        if (caught != 0) {
            raise(caught);
        }
    }

    CEchoOff(const CEchoOff&) = delete;
    CEchoOff& operator=(const CEchoOff&) = delete;

private:
    int m_fd;
    bool m_active = false;
    termios m_saved{};
    struct sigaction m_actions[kEndingSignalCount] = {};
};

} // namespace

bool CTtyTerminal::IsInteractive()
{
    return isatty(m_input) == 1 && isatty(m_output) == 1;
}

bool CTtyTerminal::Ask(const std::string& question)
{
    Write(question + " [y/N] ");
    const std::string answer = LowerAscii(ReadLine().value_or(""));
    return answer == "y" || answer == "yes";
}

std::optional<std::string> CTtyTerminal::ReadSecret(const std::string& prompt)
{
    // Off before the prompt shows, so that nothing typed after it is echoed.
    const CEchoOff echoOff(m_input);
    Write(prompt);
    return ReadLine();
}

bool CTtyTerminal::ShowsProgress()
{
    return isatty(m_output) == 1;
}

void CTtyTerminal::Progress(const std::string& line)
{
    Write("\r" + line + "\033[K");
}

void CTtyTerminal::EndProgress()
{
    Write("\n");
}

void CTtyTerminal::Write(const std::string& text) const
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(m_output, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        done += static_cast<size_t>(written);
    }
}

// One line without its end; nullopt at the end of input before any character, on an
// error, or when a signal that ends the program came in.
std::optional<std::string> CTtyTerminal::ReadLine() const
{
    std::string line;
    char c = 0;
    while (true) {
        const ssize_t got = read(m_input, &c, 1);
        if (got < 0 && errno == EINTR && g_caughtSignal == 0) {
            continue;
        }
        if (got <= 0) {
            return got == 0 && !line.empty() ? std::optional<std::string>(line) : std::nullopt;
        }
        if (c == '\n') {
            return line;
        }
        line.push_back(c);
    }
}
