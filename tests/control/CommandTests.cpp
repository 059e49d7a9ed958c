// Command words and the texts of the help and status boxes.
#include "control/CControlOutput.h"
#include "control/CommandWords.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

TEST(CommandWords, WholeLineWithoutRegardToCaseAndUntrimmed)
{
    const std::pair<const char*, uint32_t> cases[] = {
        {"install", 5},  {"INSTALL", 5},  {"Install", 5}, {"uninstall", 10},  {"start", 4},
        {"stop", 8},     {"suspend", 16}, {"resume", 32}, {"status", 64},     {"StAtUs", 64},
        {" install", 0}, {"install ", 0}, {"", 0},        {"install now", 0}, {"pause", 0},
    };
    for (const auto& [line, flags] : cases) {
        EXPECT_EQ(ParseCommandWord(line), flags) << "[" << line << "]";
    }
}

TEST(CommandWords, ArgumentsJoinedByOneBlank)
{
    const char* none[] = {"Oxlade"};
    const char* two[] = {"Oxlade", "stop", "now"};
    EXPECT_EQ(JoinArguments(1, none), "");
    EXPECT_EQ(JoinArguments(3, two), "stop now");
    EXPECT_EQ(ParseCommandWord(JoinArguments(3, two)), 0u);
}

TEST(ControlOutput, StatusTextsIncludingUnknownStates)
{
    EXPECT_EQ(CControlOutput::StatusBoxText(1), "The service is not running.\n");
    EXPECT_EQ(CControlOutput::StatusBoxText(5), "The service continue is pending.\n");
    EXPECT_EQ(CControlOutput::StatusBoxText(7), "The service is paused.\n");
    EXPECT_EQ(CControlOutput::StatusBoxText(8), "Unknow status - 8(8).\n");
    EXPECT_EQ(CControlOutput::StatusBoxText(10), "Unknow status - 10(a).\n");
    EXPECT_EQ(CControlOutput::StatusBoxText(0), "Unknow status - 0(0).\n");
}

TEST(ControlOutput, ChannelsAndPrefixes)
{
    std::ostringstream out;
    std::ostringstream err;
    CControlOutput output(out, err);
    output.Info("Install Ternwick\n");
    output.Debug("Can't delete Registry!!\n");
    output.Warning("Can't set description!!\n");
    output.Error("Can't open SCM!!\n");
    output.Status(4);
    EXPECT_EQ(err.str(), "Warning Info: Can't set description!!\nError Info: Can't open SCM!!\n");
    EXPECT_EQ(out.str(), "The service is running.\n");
    out.str("");
    output.Help();
    EXPECT_EQ(out.str(),
              "Usage : Oxlade COMMAND\n\nFollowing COMMANDs are available.\n install   : Install service and "
              "start it.\n uninstall : Stop service and uninstall it.\n start     : Start service.\n stop      "
              ": Stop service.\n suspend   : Suspend service.\n resume    : Resume service.\n status    : "
              "Display service status.\n");
}

} // namespace
