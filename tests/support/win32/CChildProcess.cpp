#include "CChildProcess.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"

#include <chrono>

namespace Harness {

namespace {

HANDLE AsHandle(intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

// One argument as the C runtime splits a command line again: quoted when it holds a space
// or a quote, backslashes doubled only before a quote.
std::wstring Quoted(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, L'\\');
    return quoted + L"\"";
}

// The child's handle for the stream (inheritable), or nullptr when it cannot be made; a
// pipe's other end, this program's, in *ownEnd.
HANDLE ChildHandle(DWORD which, const SChildStream& stream, HANDLE output, intptr_t* ownEnd)
{
    const bool reading = which == STD_INPUT_HANDLE;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE handle = nullptr;
    switch (stream.kind) {
    case SChildStream::EKind::Inherit:
        DuplicateHandle(GetCurrentProcess(), GetStdHandle(which), GetCurrentProcess(), &handle, 0, TRUE,
                        DUPLICATE_SAME_ACCESS);
        return handle;
    case SChildStream::EKind::Null:
    case SChildStream::EKind::File:
    case SChildStream::EKind::AppendFile: {
        const std::wstring path = stream.kind == SChildStream::EKind::Null ? L"NUL" : Platform::Widen(stream.path);
        const DWORD creation = reading                                    ? OPEN_EXISTING
                               : stream.kind == SChildStream::EKind::File ? CREATE_ALWAYS
                                                                          : OPEN_ALWAYS;
        handle = CreateFileW(
            path.c_str(),
            reading ? GENERIC_READ
                    : (stream.kind == SChildStream::EKind::AppendFile ? FILE_APPEND_DATA : GENERIC_WRITE),
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
        return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
    }
    case SChildStream::EKind::Pipe: {
        HANDLE readEnd = nullptr;
        HANDLE writeEnd = nullptr;
        if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
            return nullptr;
        }
        const HANDLE own = reading ? writeEnd : readEnd;
        SetHandleInformation(own, HANDLE_FLAG_INHERIT, 0);
        *ownEnd = reinterpret_cast<intptr_t>(own);
        return reading ? readEnd : writeEnd;
    }
    case SChildStream::EKind::SameAsOutput:
        DuplicateHandle(GetCurrentProcess(), output, GetCurrentProcess(), &handle, 0, TRUE, DUPLICATE_SAME_ACCESS);
        return handle;
    }
    return nullptr;
}

} // namespace

CChildProcess::~CChildProcess()
{
    if (m_pid > 0 && !m_status) {
        Kill();
    }
    CloseInput();
    if (m_output != -1) {
        CloseHandle(AsHandle(m_output));
    }
    if (m_process != -1) {
        CloseHandle(AsHandle(m_process));
    }
}

bool CChildProcess::Start(const std::vector<std::string>& argv, const SOptions& options)
{
    std::wstring command;
    for (const std::string& argument : argv) {
        command += (command.empty() ? L"" : L" ") + Quoted(Platform::Widen(argument));
    }
    std::wstring environment;
    for (const std::string& variable : options.environment) {
        environment += Platform::Widen(variable) + L'\0';
    }
    environment += L'\0';
    // With every stream this program's own, the child is started as a shell starts it: no
    // handles are handed over, and a program that shows boxes when it has no standard
    // output still shows them.
    const bool ownStreams = options.input.kind == SChildStream::EKind::Inherit &&
                            options.output.kind == SChildStream::EKind::Inherit &&
                            options.error.kind == SChildStream::EKind::Inherit;
    HANDLE streams[3] = {};
    intptr_t unused = -1;
    if (!ownStreams) {
        streams[0] = ChildHandle(STD_INPUT_HANDLE, options.input, nullptr, &m_input);
        streams[1] = ChildHandle(STD_OUTPUT_HANDLE, options.output, nullptr, &m_output);
        streams[2] = options.error.kind == SChildStream::EKind::Pipe
                         ? nullptr
                         : ChildHandle(STD_ERROR_HANDLE, options.error, streams[1], &unused);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = ownStreams ? 0 : STARTF_USESTDHANDLES;
    startup.hStdInput = streams[0];
    startup.hStdOutput = streams[1];
    startup.hStdError = streams[2];
    PROCESS_INFORMATION process{};
    const bool arranged = ownStreams || (streams[0] != nullptr && streams[1] != nullptr && streams[2] != nullptr);
    const DWORD flags = (ownStreams ? 0 : CREATE_NO_WINDOW) | CREATE_UNICODE_ENVIRONMENT;
    const bool started =
        arranged && CreateProcessW(nullptr, command.data(), nullptr, nullptr, ownStreams ? FALSE : TRUE, flags,
                                   options.environment.empty() ? nullptr : environment.data(), nullptr, &startup,
                                   &process) != FALSE;
    for (const HANDLE stream : streams) {
        if (stream != nullptr) {
            CloseHandle(stream);
        }
    }
    if (!started) {
        return false;
    }
    CloseHandle(process.hThread);
    m_process = reinterpret_cast<intptr_t>(process.hProcess);
    m_pid = static_cast<long>(process.dwProcessId);
    m_status.reset();
    return true;
}

bool CChildProcess::Running()
{
    return m_pid > 0 && !WaitExit(0);
}

std::optional<int> CChildProcess::WaitExit(int timeOutMs)
{
    DWORD code = 0;
    if (!m_status && m_process != -1 &&
        WaitForSingleObject(AsHandle(m_process), static_cast<DWORD>(timeOutMs)) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(AsHandle(m_process), &code)) {
        m_status = static_cast<int>(code);
    }
    return m_status;
}

int CChildProcess::ExitCode(int status)
{
    return status;
}

void CChildProcess::Kill()
{
    if (m_process != -1 && !m_status) {
        TerminateProcess(AsHandle(m_process), 137);
        WaitExit(10000);
    }
}

void CChildProcess::Signal(int)
{
    Kill();
}

bool CChildProcess::Write(const std::string& bytes)
{
    DWORD wrote = 0;
    return m_input != -1 &&
           WriteFile(AsHandle(m_input), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
           wrote == bytes.size();
}

void CChildProcess::CloseInput()
{
    if (m_input != -1) {
        CloseHandle(AsHandle(m_input));
        m_input = -1;
    }
}

long CChildProcess::Read(void* buffer, size_t length)
{
    DWORD got = 0;
    if (m_output == -1) {
        return -1;
    }
    // The end of a pipe is a broken pipe here.
    if (!ReadFile(AsHandle(m_output), buffer, static_cast<DWORD>(length), &got, nullptr)) {
        return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    }
    return static_cast<long>(got);
}

bool CChildProcess::WaitReadable(int timeOutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeOutMs);
    DWORD available = 0;
    // An anonymous pipe cannot be waited on: it is looked at until the time is up. Its end
    // fails the look, and a read then returns it.
    while (m_output != -1 && PeekNamedPipe(AsHandle(m_output), nullptr, 0, nullptr, &available, nullptr) &&
           available == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        Sleep(5);
    }
    return m_output != -1;
}

} // namespace Harness
