#include "CControlOutput.h"

#include "platform/ProgramInfo.h"

#include <cstdio>
#include <ostream>

namespace {

constexpr const char* kHelpText = "Usage : Oxlade COMMAND\n\nFollowing COMMANDs are available.\n"
                                  " install   : Install service and start it.\n"
                                  " uninstall : Stop service and uninstall it.\n"
                                  " start     : Start service.\n"
                                  " stop      : Stop service.\n"
                                  " suspend   : Suspend service.\n"
                                  " resume    : Resume service.\n"
                                  " status    : Display service status.\n";

constexpr const char* kStateTexts[] = {
    "The service is not running.\n", "The service is starting.\n",         "The service is stopping.\n",
    "The service is running.\n",     "The service continue is pending.\n", "The service pause is pending.\n",
    "The service is paused.\n",
};

} // namespace

void CControlOutput::Warning(std::string_view text)
{
    m_err << "Warning Info: " << text << std::flush;
}

void CControlOutput::Error(std::string_view text)
{
    m_err << "Error Info: " << text << std::flush;
}

void CControlOutput::Notice(std::string_view text)
{
    m_out << text << std::flush;
}

void CControlOutput::Announce(std::string_view text)
{
    if (m_interactive) {
        m_out << text << std::flush;
    }
}

void CControlOutput::Help()
{
    m_out << kHelpText << std::flush;
}

void CControlOutput::Version()
{
    m_out << VersionLine("Oxlade") << std::flush;
}

void CControlOutput::Status(uint32_t state)
{
    m_out << StatusBoxText(state) << std::flush;
}

std::string CControlOutput::StatusBoxText(uint32_t state)
{
    if (state >= 1 && state <= 7) {
        return kStateTexts[state - 1];
    }
    char text[64];
    std::snprintf(text, sizeof text, "Unknow status - %u(%x).\n", state, state);
    return text;
}
