#include "CKeyServerNode.h"

#include "CFailoverNetwork.h"
#include "Wire.h"

#include <csignal>
#include <deque>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string LastLines(const std::string& text, size_t count)
{
    std::istringstream lines(text);
    std::deque<std::string> tail;
    std::string line;
    while (std::getline(lines, line)) {
        tail.push_back("    " + line + "\n");
        if (tail.size() > count) {
            tail.pop_front();
        }
    }
    std::string out;
    for (const std::string& kept : tail) {
        out += kept;
    }
    return out;
}

// Replaces every occurrence; false when there is none.
bool ReplaceAll(std::string& text, const std::string& from, const std::string& to)
{
    bool found = false;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
        found = true;
    }
    return found;
}

} // namespace

CKeyServerNode::CKeyServerNode(const SSetup& setup) : m_setup(setup)
{
    bool laid = Harness::StoreTool(m_dir.Path(), {"layout"}) == 0 &&
                Harness::StoreTool(m_dir.Path(), {"port", std::to_string(kPort)}) == 0;
    for (const auto& [id, key] : m_setup.keys) {
        laid = laid && Harness::StoreTool(m_dir.Path(), {"key", id, Wire::Hex(key)}) == 0;
    }
    if (!laid) {
        m_problem = "cannot lay out the store in " + m_dir.Path();
        return;
    }
    const std::string configuration = Configuration();
    if (m_problem.empty()) {
        std::ofstream(Path("keepalived.conf")) << configuration;
    }
}

CKeyServerNode::~CKeyServerNode()
{
    // Stopped as an administrator would: the address goes with it.
    if (m_keepalived && m_keepalived->Running()) {
        m_keepalived->Signal(SIGTERM);
        if (!m_keepalived->WaitExit(5000)) {
            KillKeepalived();
        }
    }
}

std::string CKeyServerNode::Configuration()
{
    std::string text = ReadFile(KEEPALIVED_EXAMPLE);
    // The check is this build's, on this server's store (keepalived passes its environment
    // on). The script security would refuse a program in a build tree that lies below a
    // folder others may write (/tmp).
    const std::pair<std::string, std::string> edits[] = {
        {"192.0.2.11", m_setup.address},
        {"192.0.2.12", m_setup.peer},
        {"192.0.2.10", m_setup.floatingAddress},
        {"priority 100", "priority " + std::to_string(m_setup.priority)},
        {"/usr/sbin/corvane-admin ", std::string(ADMIN_TOOL_PATH) + " "},
        {"    enable_script_security\n", ""},
    };
    for (const auto& [from, to] : edits) {
        if (!ReplaceAll(text, from, to)) {
            m_problem = std::string("the example ") + KEEPALIVED_EXAMPLE + " no longer holds \"" + from + "\"";
        }
    }
    return text;
}

int CKeyServerNode::Admin(const std::vector<std::string>& arguments, const std::string& input, std::string* out) const
{
    std::vector<std::string> argv = {"sh", "-c", "printf '%s\\n' \"$0\" | \"$@\"", input, ADMIN_TOOL_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return Harness::RunProgram(argv, Harness::ChildEnvironment(m_dir.Path(), ""), out);
}

bool CKeyServerNode::StartService()
{
    const bool answers = CFailoverNetwork::In(m_setup.networkNamespace, [this] {
        // The notification socket is an abstract one, which belongs to a network namespace.
        m_notify = std::make_unique<Harness::CNotifyListener>();
        m_startedAt = std::chrono::steady_clock::now();
        m_service = std::make_unique<Harness::CTernwickProcess>(m_dir.Path(), m_notify->Address());
        return Harness::WaitForListener(kPort, 20000);
    });
    if (!answers || !m_notify->WaitForLine("READY=1", 20000)) {
        m_problem = "Ternwick did not come up in " + m_setup.networkNamespace + ":\n" + m_service->LogTail(20);
        return false;
    }
    return true;
}

void CKeyServerNode::KillService()
{
    m_service->Signal(SIGKILL);
    m_service->WaitExit(5000);
}

void CKeyServerNode::SignalService(int signalNumber)
{
    m_service->Signal(signalNumber);
}

bool CKeyServerNode::StartKeepalived()
{
    // ip netns exec gives it the namespace's own /sys too; keepalived keeps its pid.
    const std::vector<std::string> argv = {
        "ip",
        "netns",
        "exec",
        m_setup.networkNamespace,
        "keepalived",
        "--vrrp",
        "--dont-fork",
        "--dont-respawn",
        "--log-console",
        "--no-syslog",
        "--use-file",
        Path("keepalived.conf"),
        "--pid",
        Path("keepalived.pid"),
        "--vrrp_pid",
        Path("vrrp.pid"),
        "--checkers_pid",
        Path("checkers.pid"),
    };
    Harness::CChildProcess::SOptions options;
    options.environment = Harness::ChildEnvironment(m_dir.Path(), "");
    options.output = {Harness::SChildStream::EKind::AppendFile, Path("keepalived.log")};
    options.error.kind = Harness::SChildStream::EKind::SameAsOutput;
    m_keepalived = std::make_unique<Harness::CChildProcess>();
    if (!m_keepalived->Start(argv, options)) {
        m_problem = "cannot start keepalived";
        return false;
    }
    return true;
}

void CKeyServerNode::KillKeepalived()
{
    // The VRRP process first: its parent, which does not start it again, then ends too.
    const std::string vrrp = ReadFile(Path("vrrp.pid"));
    if (const pid_t pid = static_cast<pid_t>(std::atol(vrrp.c_str())); pid > 0) {
        kill(pid, SIGKILL);
    }
    m_keepalived->Kill();
    for (const char* name : {"keepalived.pid", "vrrp.pid", "checkers.pid"}) {
        unlink(Path(name).c_str());
    }
}

size_t CKeyServerNode::CountKeepalivedLog(const std::string& text) const
{
    std::istringstream lines(ReadFile(Path("keepalived.log")));
    size_t count = 0;
    for (std::string line; std::getline(lines, line);) {
        count += line.find(text) != std::string::npos ? 1 : 0;
    }
    return count;
}

bool CKeyServerNode::HoldsAddress() const
{
    std::string out;
    Harness::RunProgram({"ip", "-n", m_setup.networkNamespace, "-4", "-o", "addr", "show"}, {}, &out);
    return out.find(" " + m_setup.floatingAddress + "/") != std::string::npos;
}

std::string CKeyServerNode::Report() const
{
    return m_setup.networkNamespace + ": Ternwick\n" + (m_service ? m_service->LogTail(15) : "") + "keepalived\n" +
           LastLines(ReadFile(Path("keepalived.log")), 15);
}
