// The terminal on Linux, on a real pseudo-terminal.
#include "admin/linux/CTtyTerminal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// What the terminal shows until the text has shown (or nothing more comes for a while).
std::string ReadShown(int fd, const std::string& until = "")
{
    std::string text;
    char buffer[256];
    pollfd entry{fd, POLLIN, 0};
    while ((until.empty() || text.find(until) == std::string::npos) &&
           poll(&entry, 1, until.empty() ? 200 : 20000) == 1) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        text.append(buffer, static_cast<size_t>(got));
    }
    return text;
}

// Types the line once the prompt shows on the terminal; what it showed in shown.
std::thread TypeAfter(int master, const std::string& prompt, const std::string& line, std::string& shown)
{
    return std::thread([master, prompt, line, &shown] {
        shown = ReadShown(master, prompt);
        EXPECT_EQ(write(master, line.data(), line.size()), static_cast<ssize_t>(line.size()));
        shown += ReadShown(master);
    });
}

// A real pseudo-terminal: the password does not show, and the terminal is as it was after.
TEST(TtyTerminalTest, APasswordIsReadWithoutEchoAndTheTerminalRestored)
{
    int master = -1;
    int slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    termios modes{};
    ASSERT_EQ(tcgetattr(slave, &modes), 0);
    modes.c_lflag |= ECHO | ICANON;
    ASSERT_EQ(tcsetattr(slave, TCSANOW, &modes), 0);
    CTtyTerminal terminal(slave, slave);
    EXPECT_TRUE(terminal.IsInteractive());

    std::string shown;
    std::thread typist = TypeAfter(master, "Password: ", "s3cret\n", shown);
    EXPECT_EQ(terminal.ReadSecret("Password: "), "s3cret");
    typist.join();
    EXPECT_EQ(shown, "Password: \r\n");
    ASSERT_EQ(tcgetattr(slave, &modes), 0);
    EXPECT_NE(modes.c_lflag & ECHO, 0u);

    for (const auto& [typed, yes] : {std::pair<std::string, bool>{"Yes", true}, {"", false}}) {
        typist = TypeAfter(master, "[y/N] ", typed + "\n", shown);
        EXPECT_EQ(terminal.Ask("Go on?"), yes);
        typist.join();
        EXPECT_EQ(shown, "Go on? [y/N] " + typed + "\r\n");
    }
    close(master);
    close(slave);

    const int file = open("/dev/null", O_RDWR | O_CLOEXEC);
    EXPECT_FALSE(CTtyTerminal(file, file).IsInteractive());
    close(file);
}

} // namespace
