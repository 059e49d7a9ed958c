#pragma once

#include "platform/CEvent.h"
#include "service/CStatusReporter.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

// Own states of the service (the reported states are those of ServiceStatus.h).
inline constexpr int kStateNone = 0;
inline constexpr int kStateStopped = 1;
inline constexpr int kStateRunning = 2;
inline constexpr int kStateStopPending = 3;
inline constexpr int kStatePaused = 4;

// The state of one service, shared by the control dispatcher, the service main thread, the
// watcher thread and the connection workers: its own state and what was reported of it,
// the pause gate, the port listened on, the stop and pause events and the exit code.
class CServiceState
{
public:
    // Throws std::runtime_error when the events cannot be made.
    explicit CServiceState(CStatusReporter& reporter);
    CServiceState(const CServiceState&) = delete;
    CServiceState& operator=(const CServiceState&) = delete;

    // False when the report could not be delivered.
    bool Report(uint32_t state, uint32_t exitCode = 0);
    int State() const { return m_state; }
    bool Stopping() const { return m_state == kStateStopPending; }

    // From none to running, before the watcher starts; false when a stop came first.
    bool BeginRunning();
    // The watcher could not be started.
    void EndRunning();
    // Waits for the first listener (true) or a stop (false).
    bool WaitForFirstListener();
    // Reports running; from then on pause and continue are taken.
    void ReportRunning();
    // Reports the state as the manager should see it now (start pending until running was
    // reported) and returns the report.
    uint32_t ReportCurrent();

    void Pause();
    void Continue();
    void Stop();

    // The request server's listener is open on the port: after the first one the service
    // may report running.
    void ListenerOpened(uint16_t port);
    uint16_t ListeningPort() const { return m_listeningPort; }
    // The pause gate: returns at once unless paused, else when the service continues or is
    // stopping. True when the caller may go on serving (the state is not stop pending).
    bool WaitWhilePaused();

    // Signalled once stopping.
    Platform::CEvent& StopEvent() { return m_stopEvent; }
    // Manual reset, signalled while paused: wakes the threads that wait for connections.
    Platform::CEvent& PausedEvent() { return m_pausedEvent; }

    // Reported with the stop and returned by the process: not 0 when the service could not
    // go on for a reason that is not the listener's.
    void SetExitCode(int code) { m_exitCode = code; }
    int ExitCode() const { return m_exitCode; }

private:
    void SetState(int state);

    CStatusReporter& m_reporter;
    std::atomic<int> m_state{kStateNone};
    // Pause and continue count only once running has been reported (a start pending
    // accepts no controls), and an interrogation reports start pending until then; a stop
    // is always taken.
    std::atomic<bool> m_runningReported{false};
    // Orders pause and continue against the first running report.
    std::mutex m_controlLock;
    Platform::CEvent m_stopEvent{true, false};
    Platform::CEvent m_pausedEvent{true, false};
    // State changes to and from paused (and to stop pending) are made under m_gateLock and
    // announced on m_gateChanged, and so is the opening of the first listener, which
    // running waits for.
    std::mutex m_gateLock;
    std::condition_variable m_gateChanged;
    bool m_listening = false;
    std::atomic<uint16_t> m_listeningPort{0};
    std::atomic<int> m_exitCode{0};
};
