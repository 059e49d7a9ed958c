#pragma once

// The process of the key service: prepares signals, starts the control dispatcher, runs
// the service until it stops and returns the process's exit code (always 0, as the
// service reports its own stop).
int RunTernwick();
