#pragma once

#include <stdexcept>

namespace ZiRez {

// The caller's cancel event was signalled while a wait was in progress.
class CSocketEvent : public std::logic_error
{
public:
    CSocketEvent();
    ~CSocketEvent() override;
};

} // namespace ZiRez
