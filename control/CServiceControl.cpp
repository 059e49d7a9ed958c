#include "CServiceControl.h"

#include "control/CommandWords.h"
#include "control/ProgramDirectory.h"
#include "keys/AsciiCase.h"
#include "platform/ProgramInfo.h"
#include "platform/ServiceStatus.h"
#include "settings/CKeyStore.h"
#include "settings/StoreMessages.h"

#include <cstdio>
#include <map>
#include <utility>

namespace {

constexpr const char* kServiceFileName = "Ternwick";
constexpr const char* kDisplayName = "Quillon Corvane Key Service";
constexpr int kVersionMajor = 1;
constexpr int kVersionMinor = 20;
constexpr uint32_t kRestartDelayMs = 1000;
// After a control or a start: the service manager is not polled, the program waits once.
constexpr int kSettleMs = 500;

std::string Description()
{
    char text[64];
    std::snprintf(text, sizeof text, "Quillon Corvane Key Service Ver.%d.%.2d", kVersionMajor, kVersionMinor);
    return text;
}

} // namespace

struct CServiceControl::ControlStep
{
    const char* info;
    uint32_t alreadyState;
    const char* alreadyText;
    uint32_t control;
    const char* failure;
    const char* done;
};

CServiceControl::CServiceControl(CServiceManager& manager, CFirewall& firewall, CKeyStore& store,
                                 CControlOutput& output, std::string programDirectory, Sleeper sleep)
    : m_manager(manager), m_firewall(firewall), m_store(store), m_output(output),
      m_programDirectory(std::move(programDirectory)), m_sleep(std::move(sleep))
{}

int CServiceControl::Run(std::string_view commandLine)
{
    switch (InfoOption(commandLine)) {
    case EInfoOption::Help:
        m_output.Help();
        return 0;
    case EInfoOption::Version:
        m_output.Version();
        return 0;
    case EInfoOption::None:
        break;
    }
    const uint32_t flags = ParseCommandWord(commandLine);
    if (flags == 0) {
        m_output.Help();
        return 1;
    }
    if (!m_manager.Open()) {
        const std::string advice = m_manager.OpenAdvice();
        m_output.Error(advice.empty() ? "Can't open SCM!!\n" : advice + " (Can't open SCM!!)\n");
        return 1;
    }
    if ((flags & ~kCommandStatus) != 0 && !m_manager.MayChangeServices()) {
        const std::string word = LowerAscii(commandLine);
        m_output.Error("Oxlade must run as root to " + word + " the service: run 'sudo Oxlade " + word +
                       "' (Can't open SCM!! - 5)\n");
        return 1;
    }
    if ((flags & kCommandInstall) != 0) {
        if (Install() != 0) {
            return 1;
        }
    } else if (const uint32_t error = m_manager.OpenExisting(); error != 0) {
        return NotInstalled(flags, error);
    }
    if ((flags & kCommandUninstall) != 0 && KeepKeys() != 0) {
        return 1;
    }
    return RunSteps(flags);
}

int CServiceControl::NotInstalled(uint32_t flags, uint32_t error)
{
    // Installed perhaps, but out of reach (access denied, say): nothing is said about it.
    if (error != CServiceManager::kErrorNoSuchService) {
        m_output.Error("Can't open Service!! - " + std::to_string(error) + "\n");
        return 1;
    }
    // Uninstalled already: the state the command would reach.
    if ((flags & kCommandUninstall) != 0) {
        m_output.Notice("The service is not installed: nothing to uninstall.\n");
        return 0;
    }
    if ((flags & kCommandStatus) != 0) {
        m_output.Notice("The service is not installed: 'Oxlade install' installs and starts it.\n");
        return 1;
    }
    m_output.Error("The service is not installed: install it with 'Oxlade install' (Can't open Service!! - 1060)\n");
    return 1;
}

int CServiceControl::KeepKeys()
{
    m_output.Announce("Uninstalling Ternwick: a copy of the key store is kept first; then the service is stopped, "
                      "its unit and its firewall opening are removed, and every registration is deleted from the "
                      "key store.\n");
    if (m_store.Inspect(false).problem == StoreProblem::Missing) {
        return 0;
    }
    std::map<std::string, CKeyRecord> keys;
    const bool listed = m_store.ReadKeyList(keys) == 1;
    if (listed && keys.empty()) {
        return 0; // no registration to lose
    }
    std::string copy;
    if (m_store.KeepCopy(copy) != 1) {
        m_output.Error(StoreMessages::CopyRefused());
        return 1;
    }
    const std::string what = listed ? "The keys of " + std::to_string(keys.size()) +
                                          (keys.size() == 1 ? " registration were" : " registrations were")
                                    : "The key store (unreadable here, so every key it holds) was";
    m_output.Notice(StoreMessages::KeptCopy(what, copy));
    return 0;
}

int CServiceControl::RunSteps(uint32_t flags)
{
    static const ControlStep kStop{.info = "Stop Ternwick\n",
                                   .alreadyState = kServiceStopped,
                                   .alreadyText = "Service is already stopped.\n",
                                   .control = CServiceManager::kControlStop,
                                   .failure = "Can't Stop Service!!\n",
                                   .done = "Stopping ... done\n"};
    static const ControlStep kPause{.info = "Suspend Ternwick\n",
                                    .alreadyState = kServicePaused,
                                    .alreadyText = "Service is already suspended.\n",
                                    .control = CServiceManager::kControlPause,
                                    .failure = "Can't suspend Service!!\n",
                                    .done = "Suspending ... done\n"};
    static const ControlStep kContinue{.info = "Resume Ternwick\n",
                                       .alreadyState = kServiceRunning,
                                       .alreadyText = "Service is already running.\n",
                                       .control = CServiceManager::kControlContinue,
                                       .failure = "Can't resume Service!!\n",
                                       .done = "Resuming ... done\n"};
    const std::pair<uint32_t, std::function<int()>> steps[] = {
        {kCommandStart, [this] { return Start(); }},           {kCommandStop, [this] { return Control(kStop); }},
        {kCommandSuspend, [this] { return Control(kPause); }}, {kCommandResume, [this] { return Control(kContinue); }},
        {kCommandUninstall, [this] { return Delete(); }},      {kCommandStatus, [this] { return ShowStatus(); }},
    };
    for (const auto& [flag, step] : steps) {
        if ((flags & flag) != 0 && step() != 0) {
            return 1;
        }
    }
    return 0;
}

int CServiceControl::Install()
{
    m_output.Info("Install Ternwick\n");
    const std::string quotedPath = QuotedExecutablePath();
    m_output.Info("Register : " + quotedPath);
    const uint32_t error = m_manager.Create(kDisplayName, ExecutablePath());
    if (error != 0) {
        ReportCreateError(error);
        return 1;
    }
    if (!m_manager.ChangeDescription(Description())) {
        m_output.Warning("Can't set description!!\n");
    }
    if (!m_manager.ChangeFailureActions(kRestartDelayMs)) {
        m_output.Warning("Can't set failure action!!\n");
    }
    m_firewall.AddFirewallRule(quotedPath);
    m_output.Info("Installation ... done\n");
    m_sleep(kSettleMs);
    return 0;
}

void CServiceControl::ReportCreateError(uint32_t error)
{
    const std::string failure = "Can't Install Service!! - " + std::to_string(error);
    const std::string advice = m_manager.CreateAdvice(error, ExecutablePath());
    m_output.Error(advice.empty() ? failure + "\n" : advice + " (" + failure + ")\n");
}

int CServiceControl::Start()
{
    m_output.Info("START Ternwick\n");
    uint32_t state = 0;
    if (!QueryState(state)) {
        return 1;
    }
    if (state == kServiceRunning) {
        m_output.Info("Service is already running.\n");
    } else {
        const uint32_t error = m_manager.Start();
        if (error != 0) {
            m_output.Error("Can't Start Service!! - " + std::to_string(error) + "\n");
            return 1;
        }
        m_sleep(kSettleMs);
    }
    m_output.Info("Starting ... done\n");
    return 0;
}

int CServiceControl::Control(const ControlStep& step)
{
    m_output.Info(step.info);
    uint32_t state = 0;
    if (!QueryState(state)) {
        return 1;
    }
    if (state == step.alreadyState) {
        m_output.Info(step.alreadyText);
    } else {
        if (!m_manager.Control(step.control)) {
            m_output.Error(step.failure);
            return 1;
        }
        m_sleep(kSettleMs);
    }
    m_output.Info(step.done);
    return 0;
}

int CServiceControl::Delete()
{
    m_output.Info("Uninstall Ternwick\n");
    if (!m_manager.Delete()) {
        m_output.Error("Can't uninstall Service!!\n");
        return 1;
    }
    if (m_store.RemoveLayout() != 1) {
        m_output.Debug("Can't delete Registry!!\n");
    }
    m_firewall.RemoveFirewallRule(QuotedExecutablePath());
    m_output.Info("Uninstallation ... done\n");
    return 0;
}

int CServiceControl::ShowStatus()
{
    m_output.Info("Display Ternwick Status\n");
    uint32_t state = 0;
    if (!QueryState(state)) {
        return 1;
    }
    m_output.Status(state);
    return 0;
}

bool CServiceControl::QueryState(uint32_t& state)
{
    if (!m_manager.QueryStatus(state)) {
        m_output.Error("Can't Query Service Status!!\n");
        return false;
    }
    return true;
}

std::string CServiceControl::ExecutablePath() const
{
    return ProgramPath(m_programDirectory, kServiceFileName);
}

std::string CServiceControl::QuotedExecutablePath() const
{
    return "\"" + ExecutablePath() + "\"";
}
