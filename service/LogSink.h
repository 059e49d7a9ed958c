#pragma once

#include "service/CLogSink.h"

#include <memory>

// The sink of the process's log: the journal when standard error is connected to it (a
// service started by systemd), else standard error. linux/ and win32/ implement it.
std::unique_ptr<CLogSink> NewProcessLogSink();
