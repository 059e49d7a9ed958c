#include "CControlOutput.h"

#include "platform/ProgramInfo.h"
#include "platform/SafeText.h"

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

// A message as one line: it may carry paths and what other programs said.
std::string OneLine(std::string_view text)
{
    const bool ended = !text.empty() && text.back() == '\n';
    return SafeText(ended ? text.substr(0, text.size() - 1) : text) + (ended ? "\n" : "");
}

} // namespace

CControlOutput::CControlOutput(std::ostream& out, std::ostream& err, bool interactive)
    : m_show([&out, &err](EControlBox box, const std::string& text) {
          std::ostream& stream = box == EControlBox::Warning || box == EControlBox::Error ? err : out;
          stream << text << std::flush;
      }),
      m_interactive(interactive)
{}

void CControlOutput::Warning(std::string_view text)
{
    m_show(EControlBox::Warning, "Warning Info: " + OneLine(text));
}

void CControlOutput::Error(std::string_view text)
{
    m_show(EControlBox::Error, "Error Info: " + OneLine(text));
}

void CControlOutput::Notice(std::string_view text)
{
    m_show(EControlBox::Notice, std::string(text));
}

void CControlOutput::Announce(std::string_view text)
{
    if (m_interactive) {
        m_show(EControlBox::Notice, std::string(text));
    }
}

void CControlOutput::Help()
{
    m_show(EControlBox::Help, kHelpText);
}

void CControlOutput::Version()
{
    m_show(EControlBox::Version, VersionLine("Oxlade"));
}

void CControlOutput::Status(uint32_t state)
{
    m_show(EControlBox::Status, StatusBoxText(state));
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
