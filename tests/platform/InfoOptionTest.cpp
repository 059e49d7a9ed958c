// Every program answers --help and --version before it does anything: exit 0, its text on
// standard output, no store created, no port bound, no display needed.
#include "CChildProcess.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct ProgramRun
{
    int exitCode = -1;
    std::string out;
};

// Runs the program without a display and with a state directory that does not exist; its
// standard output and error together in out.
ProgramRun RunProgram(const std::string& program, const std::string& argument, const std::string& stateDir)
{
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable = *entry;
        const std::string name = variable.substr(0, variable.find('='));
        if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "QT_QPA_PLATFORM" &&
            name != "CORVANE_STATE_DIR") {
            environment.push_back(variable);
        }
    }
    environment.push_back("CORVANE_STATE_DIR=" + stateDir);
    std::vector<std::string> argv = {program};
    if (!argument.empty()) {
        argv.push_back(argument);
    }
    ProgramRun run;
    run.exitCode = Harness::RunProgram(argv, environment, &run.out, Harness::SChildStream::EKind::SameAsOutput);
    return run;
}

} // namespace

TEST(InfoOptions, EveryProgramAnswersWithoutSideEffects)
{
    char pattern[] = "/tmp/corvane-info-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string stateDir = std::string(pattern) + "/state";
    const struct
    {
        const char* name;
        const char* path;
        const char* usageStart;
    } programs[] = {
        {"Ternwick", CORVANE_TERNWICK, "Usage: Ternwick\n"},
        {"Oxlade", CORVANE_OXLADE, "Usage : Oxlade COMMAND\n"},
        {"corvane-admin", CORVANE_ADMIN, "Usage: corvane-admin COMMAND"},
        {"corvane-request", CORVANE_REQUEST, "usage: corvane-request check HOST PORT\n"},
#ifdef CORVANE_HALVARD
        {"Halvard", CORVANE_HALVARD, "Usage: Halvard\n"},
#endif
    };
    for (const auto& program : programs) {
        SCOPED_TRACE(program.name);
        const ProgramRun help = RunProgram(program.path, "--help", stateDir);
        EXPECT_EQ(help.exitCode, 0) << help.out;
        EXPECT_EQ(help.out.rfind(program.usageStart, 0), 0u) << help.out;
        const ProgramRun version = RunProgram(program.path, "--version", stateDir);
        EXPECT_EQ(version.exitCode, 0) << version.out;
        EXPECT_EQ(version.out, std::string(program.name) + " (Corvane Key Server) " + CORVANE_VERSION + "\n");
        struct stat status
        {};
        EXPECT_NE(stat(stateDir.c_str(), &status), 0) << "the state directory was created";
    }
    // The service takes no other argument: it must not start on a mistyped option.
    const ProgramRun typo = RunProgram(CORVANE_TERNWICK, "--hepl", stateDir);
    EXPECT_EQ(typo.exitCode, 2) << typo.out;
#ifdef CORVANE_HALVARD
    // Without a display the console says so instead of aborting (and dumping core).
    const ProgramRun blind = RunProgram(CORVANE_HALVARD, "", stateDir);
    EXPECT_EQ(blind.exitCode, 1) << blind.out;
    EXPECT_EQ(blind.out.rfind("Halvard: no display", 0), 0u) << blind.out;
#endif
    struct stat status
    {};
    EXPECT_NE(stat(stateDir.c_str(), &status), 0);
    rmdir(pattern);
}
