#include "CTernwickProcess.h"

#include "Harness.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

namespace Harness {

namespace {

// The last lines of a drained log kept for a failure report.
constexpr size_t kTailLines = 200;

} // namespace

CTernwickProcess::CTernwickProcess(const std::string& stateDir, const std::string& notifySocket, int descriptorLimit,
                                   const std::string& logPath, const std::string& machineIdFile)
    : CTernwickProcess(stateDir, SOptions{"", notifySocket, descriptorLimit, logPath, false, machineIdFile})
{}

CTernwickProcess::CTernwickProcess(const std::string& stateDir, const SOptions& options)
    : m_logPath(options.logToPipe         ? ""
                : options.logPath.empty() ? stateDir + "/ternwick.log"
                                          : options.logPath)
{
    const std::string binary = options.binary.empty() ? std::string(TERNWICK_PATH) : options.binary;
    std::vector<std::string> argv{binary};
    if (options.descriptorLimit > 0) {
        // prlimit sets the limit and execs the service in its own process.
        const std::string limit = std::to_string(options.descriptorLimit);
        argv = {"/usr/bin/prlimit", "--nofile=" + limit + ":" + limit, binary};
    }
    if (!options.machineIdFile.empty()) {
        argv = UnderMachineIdentity(options.machineIdFile, argv);
    }
    struct stat info
    {};
    m_logStart = stat(m_logPath.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? static_cast<size_t>(info.st_size) : 0;
    CChildProcess::SOptions streams;
    streams.environment = ChildEnvironment(stateDir, options.notifySocket);
    streams.output = options.logToPipe ? SChildStream{SChildStream::EKind::Pipe, ""}
                                       : SChildStream{SChildStream::EKind::AppendFile, m_logPath};
    streams.error.kind = SChildStream::EKind::SameAsOutput;
    if (m_child.Start(argv, streams) && options.logToPipe) {
        m_drain = std::thread([this] { Drain(); });
    }
}

CTernwickProcess::~CTernwickProcess()
{
    m_child.Kill();
    // The pipe ends with the process.
    if (m_drain.joinable()) {
        m_drain.join();
    }
}

int CTernwickProcess::Stop(int timeOutMs, double* elapsedMs)
{
    const auto start = std::chrono::steady_clock::now();
    m_child.Signal(SIGTERM);
    std::optional<int> status = m_child.WaitExit(timeOutMs);
    const bool killed = !status;
    if (killed) {
        m_child.Kill();
        status = m_child.WaitExit(0);
    }
    if (elapsedMs != nullptr) {
        *elapsedMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    if (m_drain.joinable()) {
        m_drain.join();
    }
    return !killed && status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

void CTernwickProcess::Drain()
{
    std::string pending;
    char buffer[65536];
    long got;
    while ((got = m_child.Read(buffer, sizeof buffer)) > 0) {
        // As cheap as a reader can be: a bench takes this cost from its clients.
        pending.append(buffer, static_cast<size_t>(got));
        std::vector<std::pair<size_t, size_t>> lines; // begin, end
        size_t begin = 0;
        for (size_t end; (end = pending.find('\n', begin)) != std::string::npos; begin = end + 1) {
            lines.emplace_back(begin, end);
        }
        const std::lock_guard<std::mutex> guard(m_tailLock);
        m_drainedLines += lines.size();
        for (size_t i = lines.size() - std::min(lines.size(), kTailLines); i < lines.size(); ++i) {
            m_tail.emplace_back(pending, lines[i].first, lines[i].second - lines[i].first);
        }
        while (m_tail.size() > kTailLines) {
            m_tail.pop_front();
        }
        pending.erase(0, begin);
    }
}

size_t CTernwickProcess::DrainedLines() const
{
    const std::lock_guard<std::mutex> guard(m_tailLock);
    return m_drainedLines;
}

std::string CTernwickProcess::Log() const
{
    return LogFrom(0);
}

std::string CTernwickProcess::OwnLog() const
{
    return LogFrom(m_logStart);
}

std::string CTernwickProcess::LogFrom(size_t offset) const
{
    if (m_logPath.empty()) {
        const std::lock_guard<std::mutex> guard(m_tailLock);
        std::string text;
        for (const std::string& line : m_tail) {
            text += line + "\n";
        }
        return text;
    }
    // Opening a FIFO to read would block, and reading it would take the lines away.
    struct stat info
    {};
    if (stat(m_logPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return "";
    }
    std::ifstream file(m_logPath);
    file.seekg(static_cast<std::streamoff>(std::min(offset, static_cast<size_t>(info.st_size))));
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string CTernwickProcess::LogTail(size_t count) const
{
    std::istringstream lines(Log());
    std::deque<std::string> tail;
    std::string line;
    while (std::getline(lines, line)) {
        tail.push_back(line);
        if (tail.size() > count) {
            tail.pop_front();
        }
    }
    std::string out;
    for (const std::string& kept : tail) {
        out += "    " + kept + "\n";
    }
    return out;
}

size_t CTernwickProcess::CountLog(const std::string& text) const
{
    std::istringstream lines(Log());
    std::string line;
    size_t count = 0;
    while (std::getline(lines, line)) {
        if (line.find(text) != std::string::npos) {
            ++count;
        }
    }
    return count;
}

bool CTernwickProcess::WaitForLog(const std::string& text, size_t count, int timeOutMs) const
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeOutMs);
    while (CountLog(text) < count) {
        if (RemainingMs(deadline) == 0) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool CTernwickProcess::FoundPortTaken(uint16_t port) const
{
    std::istringstream lines(OwnLog());
    const std::string cannot = "cannot listen on port " + std::to_string(port) + ": ";
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find(cannot) != std::string::npos && line.find("in use") != std::string::npos) {
            return true;
        }
    }
    return false;
}

long CTernwickProcess::StatusField(const char* name) const
{
    std::ifstream status("/proc/" + std::to_string(Pid()) + "/status");
    const std::string prefix = std::string(name) + ":";
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(prefix)) {
            return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
        }
    }
    return -1;
}

std::string FindTernwick(const std::string& given)
{
    const std::string path = given.empty() ? std::string(TERNWICK_PATH) : given;
    std::error_code error;
    return std::filesystem::exists(path, error) ? path : std::string();
}

} // namespace Harness
