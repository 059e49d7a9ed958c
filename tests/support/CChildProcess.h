#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Harness {

// Where a standard stream of a child goes.
struct SChildStream
{
    enum class EKind
    {
        Inherit,      // this program's own
        Null,         // the null device
        File,         // path: read from, or written over
        AppendFile,   // path: written at its end
        Pipe,         // input and output only: to or from this program (Write / Read)
        SameAsOutput, // standard error only: where standard output goes
    };

    EKind kind = EKind::Inherit;
    std::string path;
};

// A program in a process of its own, with the arguments, environment and standard streams
// given; waited for with a time-out, and killed (and waited for) when the object goes while
// it still runs. linux/ and win32/ hold the system's calls.
class CChildProcess
{
public:
    struct SOptions
    {
        std::vector<std::string> environment; // the whole environment; empty: this program's
        SChildStream input{SChildStream::EKind::Null, ""};
        SChildStream output;
        SChildStream error;
    };

    CChildProcess() = default;
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // argv[0] is the program, looked up on the search path when it names no folder. False
    // when it cannot be started.
    bool Start(const std::vector<std::string>& argv, const SOptions& options);
    // 0 before a start.
    long Pid() const { return m_pid; }
    bool Running();
    // The system's status once the process ended within the time (the wait status on Linux,
    // the exit code on Windows), else nullopt.
    std::optional<int> WaitExit(int timeOutMs);
    // The exit code in that status; 128 + the signal's number when a signal ended it.
    static int ExitCode(int status);
    // Ends the process at once and waits for it.
    void Kill();
    // Linux only: a signal to the process; on Windows any signal ends it as Kill does.
    void Signal(int signalNumber);

    // The pipes: all of a write, or as much of a read as is there (blocking until some
    // arrives); -1 on failure, 0 at the end of the output.
    bool Write(const std::string& bytes);
    void CloseInput();
    long Read(void* buffer, size_t length);
    // Whether output (or its end) is there to read within the time.
    bool WaitReadable(int timeOutMs);
    // The rest of the output, until the child closes it.
    std::string ReadAll();

private:
    long m_pid = 0;
    std::optional<int> m_status;
    // The system's handles (descriptors on Linux), -1 when none: the process (Windows
    // only) and this program's ends of the pipes.
    intptr_t m_process = -1;
    intptr_t m_input = -1;
    intptr_t m_output = -1;
};

// Runs the program to its end; its exit code (as ExitCode), -1 when it cannot be started.
// Its standard output in *out when given (else inherited), standard error where error
// says (SameAsOutput: in *out too), standard input the null device.
int RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               std::string* out = nullptr, SChildStream::EKind error = SChildStream::EKind::Inherit);
// Runs a command of words apart by spaces (no shell, no quoting) to its end, its output and
// errors kept out of the test's own; its exit code as RunProgram's.
int RunQuietly(const std::string& command);

} // namespace Harness
