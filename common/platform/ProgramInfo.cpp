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

std::optional<std::string> InfoText(std::string_view argument, std::string_view usage, std::string_view program)
{
    switch (InfoOption(argument)) {
    case EInfoOption::Help:
        return std::string(usage);
    case EInfoOption::Version:
        return VersionLine(program);
    case EInfoOption::None:
        break;
    }
    return std::nullopt;
}
