#pragma once

#include <cstddef>

namespace Platform {

// Fills the buffer from the operating system's cryptographic random source; throws
// std::system_error when it cannot.
void FillRandom(void* buffer, size_t length);

} // namespace Platform
