#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace Platform {

// Starts run on a thread of its own with a stack of stackSize bytes; nobody waits for the
// thread, which ends when run returns. False, with the system's reason, when no thread
// could be started (run is then dropped without being called).
bool StartDetachedThread(size_t stackSize, std::function<void()> run, std::string& reason);

} // namespace Platform
