#include "CSystemdServiceManager.h"

#include "control/CProcessRunner.h"
#include "control/linux/CUnitFile.h"
#include "control/linux/UnitTemplate.h"
#include "platform/ServiceStatus.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// Error numbers of the system the steps report: a file that cannot be written is an
// access, path or disk fault; a tool that cannot be run is a missing file.
uint32_t ErrorNumberFromErrno(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return CSystemdServiceManager::kErrorAccessDenied;
    case ENOENT:
    case ENOTDIR:
        return 3;
    case ENOSPC:
    case EDQUOT:
        return 112;
    default:
        return 29;
    }
}

uint32_t ErrorNumberFromStatus(int status)
{
    return status < 0 ? 2 : static_cast<uint32_t>(status);
}

std::map<std::string, std::string> ParseProperties(const std::string& text)
{
    std::map<std::string, std::string> properties;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos) {
            properties[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return properties;
}

bool WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return false;
        }
        done += static_cast<size_t>(wrote);
    }
    return fsync(fd) == 0;
}

// 0, or the errno of the failing step; the file is not left behind half written.
int WriteNewFile(const std::string& path, const std::string& text, bool exclusive)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC), 0644);
    if (fd < 0) {
        return errno;
    }
    const bool written = fchmod(fd, 0644) == 0 && WriteAll(fd, text);
    const int error = errno;
    close(fd);
    if (!written) {
        unlink(path.c_str());
        return error;
    }
    return 0;
}

} // namespace

CSystemdServiceManager::CSystemdServiceManager(const ControlPaths& paths, CProcessRunner& runner,
                                               std::string serviceName)
    : m_paths(paths), m_runner(runner), m_serviceName(std::move(serviceName))
{}

CSystemdServiceManager::~CSystemdServiceManager()
{
    if (m_reloadPending) {
        Systemctl({"daemon-reload"});
    }
}

bool CSystemdServiceManager::Open()
{
    struct stat status
    {};
    return lstat(m_paths.systemdRuntime.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::string CSystemdServiceManager::OpenAdvice() const
{
    return "systemd is not the init system here (" + m_paths.systemdRuntime +
           " is missing): Oxlade installs and controls the service through systemd; without it, run Ternwick "
           "in the foreground";
}

std::string CSystemdServiceManager::CreateAdvice(uint32_t error, const std::string& executablePath) const
{
    switch (error) {
    case kErrorFileNotFound:
        return "Ternwick is missing: Oxlade installs the one beside it, " + executablePath +
               ", which is not there or not executable; install both into one directory";
    case kErrorAccessDenied:
        return "The unit file cannot be written: run 'sudo Oxlade install'";
    default:
        return {};
    }
}

bool CSystemdServiceManager::MayChangeServices()
{
    return geteuid() == 0 || access(m_paths.unitDirectory.c_str(), W_OK) == 0;
}

uint32_t CSystemdServiceManager::Create(const std::string& displayName, const std::string& executablePath)
{
    CUnitFile unit(UnitTemplateText());
    if (!unit.SetExecutable(executablePath) || !unit.SetValue("Unit", "Description", displayName)) {
        return kErrorInvalidParameter;
    }
    // A unit naming a missing program would fail every second for ever.
    if (access(executablePath.c_str(), X_OK) != 0) {
        return kErrorFileNotFound;
    }
    const int error = WriteNewFile(UnitPath(), unit.Text(), true);
    if (error == EEXIST) {
        return kErrorServiceExists;
    }
    if (error != 0) {
        return ErrorNumberFromErrno(error);
    }
    return RegisterUnit();
}

uint32_t CSystemdServiceManager::RegisterUnit()
{
    // enable reloads systemd itself. A unit that systemd will not start at boot is no
    // installed service: take it away again, so that the next install is not refused
    // with 1073.
    const int status = Systemctl({"enable", UnitName()});
    if (status == 0) {
        return 0;
    }
    unlink(UnitPath().c_str());
    Systemctl({"daemon-reload"});
    return ErrorNumberFromStatus(status);
}

uint32_t CSystemdServiceManager::OpenExisting()
{
    return access(UnitPath().c_str(), F_OK) == 0 ? 0 : kErrorNoSuchService;
}

bool CSystemdServiceManager::ChangeDescription(const std::string& description)
{
    return EditUnit("Unit", {{"Description", description}});
}

bool CSystemdServiceManager::ChangeFailureActions(uint32_t restartDelayMs)
{
    return EditUnit("Service", {{"Restart", "on-failure"}, {"RestartSec", std::to_string(restartDelayMs) + "ms"}});
}

bool CSystemdServiceManager::EditUnit(const std::string& section,
                                      const std::vector<std::pair<std::string, std::string>>& settings)
{
    std::ifstream in(UnitPath());
    std::stringstream text;
    if (!(in >> text.rdbuf())) {
        return false;
    }
    CUnitFile unit(text.str());
    for (const auto& [key, value] : settings) {
        if (!unit.SetValue(section, key, value)) {
            return false;
        }
    }
    // Replaced whole, so that systemd never reads half a unit.
    const std::string next = UnitPath() + ".new";
    if (WriteNewFile(next, unit.Text(), false) != 0) {
        return false;
    }
    if (rename(next.c_str(), UnitPath().c_str()) != 0) {
        unlink(next.c_str());
        return false;
    }
    // Several edits in a row (install makes two) cost one reload, before systemd is asked
    // anything else.
    m_reloadPending = true;
    return true;
}

bool CSystemdServiceManager::QueryStatus(uint32_t& state)
{
    std::string output;
    if (Systemctl({"show", "-p", "ActiveState,SubState,StatusText", UnitName()}, &output) != 0) {
        return false;
    }
    state = StateFromProperties(output);
    return state != 0;
}

uint32_t CSystemdServiceManager::StateFromProperties(const std::string& showOutput)
{
    const auto properties = ParseProperties(showOutput);
    const auto active = properties.find("ActiveState");
    if (active == properties.end()) {
        return 0;
    }
    const auto sub = properties.find("SubState");
    // Waiting to be restarted after a failure: not running, as until the manager restarts it.
    if (active->second == "inactive" || active->second == "failed" ||
        (sub != properties.end() && sub->second == "auto-restart")) {
        return kServiceStopped;
    }
    const auto text = properties.find("StatusText");
    for (uint32_t state = kServiceStopped; text != properties.end() && state <= kServicePaused; ++state) {
        if (text->second == StatusText(state)) {
            return state;
        }
    }
    if (active->second == "activating" || active->second == "reloading") {
        return kServiceStartPending;
    }
    if (active->second == "deactivating") {
        return kServiceStopPending;
    }
    return active->second == "active" ? kServiceRunning : 0;
}

uint32_t CSystemdServiceManager::Start()
{
    const int status = Systemctl({"start", UnitName()});
    if (status == 0) {
        return 0;
    }
    std::string output;
    Systemctl({"show", "-p", "Result", UnitName()}, &output);
    const std::string result = ParseProperties(output)["Result"];
    if (result == "timeout") {
        return kErrorRequestTimeout;
    }
    for (const char* ended : {"exit-code", "signal", "core-dump", "protocol", "watchdog", "oom-kill"}) {
        if (result == ended) {
            return kErrorProcessAborted;
        }
    }
    return ErrorNumberFromStatus(status);
}

bool CSystemdServiceManager::Control(uint32_t control)
{
    switch (control) {
    case kControlStop:
        return Systemctl({"stop", UnitName()}) == 0;
    case kControlPause:
        return Systemctl({"kill", "--kill-whom=main", "-s", "SIGUSR1", UnitName()}) == 0;
    case kControlContinue:
        return Systemctl({"kill", "--kill-whom=main", "-s", "SIGUSR2", UnitName()}) == 0;
    default:
        return false;
    }
}

bool CSystemdServiceManager::Delete()
{
    // --now: a service waiting to be restarted after a failure must not come back.
    if (Systemctl({"disable", "--now", UnitName()}) != 0) {
        return false;
    }
    if (unlink(UnitPath().c_str()) != 0 && errno != ENOENT) {
        return false;
    }
    const bool reloaded = Systemctl({"daemon-reload"}) == 0;
    // Forget a failed run, so that no trace of the unit stays listed.
    Systemctl({"reset-failed", UnitName()});
    return reloaded;
}

std::string CSystemdServiceManager::UnitPath() const
{
    return m_paths.unitDirectory + "/" + UnitName();
}

int CSystemdServiceManager::Systemctl(std::vector<std::string> arguments, std::string* output)
{
    if (m_reloadPending) {
        m_reloadPending = false;
        if (arguments.front() != "daemon-reload") {
            Systemctl({"daemon-reload"});
        }
    }
    // Never wait for a password prompt: the program runs unattended as well.
    arguments.insert(arguments.begin(), {m_paths.systemctl, "--no-ask-password"});
    return m_runner.Run(arguments, output);
}
