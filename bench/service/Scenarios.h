#pragma once

#include "CBenchSession.h"
#include "LoadRun.h"

#include <vector>

// Each sets up its own session, prints its figures and the targets they meet or miss, and
// returns 0 when every exchange had exactly the expected bytes and the service stopped
// cleanly, else 1. A missed speed target does not count as a failure.
int RunLoadScenario(const BenchOptions& options);
int RunScalingScenario(const BenchOptions& options);
int RunPortChangeScenario(const BenchOptions& options);
int RunIdleMemoryScenario(const BenchOptions& options);
int RunVisibilityScenario(const BenchOptions& options);
int RunHostilePushScenario(const BenchOptions& options);
// Pushers that each send half of what one request may hold (1 MiB as the service counts it).
int RunHalfSentScenario(const BenchOptions& options);
int RunPushScenario(const BenchOptions& options);
int RunVersusScenario(const BenchOptions& options);
int RunMetricsScenario(const BenchOptions& options);
int RunSyscallScenario(const BenchOptions& options);
int RunSweepScenario(const BenchOptions& options);
int RunPeerTableScenario(const BenchOptions& options);
int RunNeighbourScenario(const BenchOptions& options);
int RunStormScenario(const BenchOptions& options);
int RunSyncScenario(const BenchOptions& options);

// Prints "target <text>: met" or "... MISSED" and passes the verdict on.
bool ReportTarget(const char* text, bool met);
// The middle value (the upper of the two middle ones); 0 for none.
double Median(std::vector<double> values);
// A load run as the options ask for: their keys, clients, time, time-out and threads.
LoadSettings SettingsOf(const BenchOptions& options);
