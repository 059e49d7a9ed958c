#include "ProgramInfo.h"

#include "platform/ProductVersion.h"

EInfoOption InfoOption(std::string_view argument)
{
    if (argument == "--help" || argument == "-h") {
        return EInfoOption::Help;
    }
    return argument == "--version" ? EInfoOption::Version : EInfoOption::None;
}

std::string VersionLine(std::string_view program)
{
    return std::string(program) + " (Corvane Key Server) " + kProductVersion + "\n";
}
