#pragma once

#include <cstdint>

namespace ZiRez {

// Common base of the coded socket exceptions: carries the operation code (1 open/listen,
// 2 send, 3 receive, 4 accept, 5 bind, 6 connect, 7 option, 8 mode, 9 wait, 10 packet layer,
// 11 address conversion).
class CSocketErrorBase
{
public:
    explicit CSocketErrorBase(int32_t code) : m_code(code) {}
    virtual ~CSocketErrorBase();

    int32_t GetCode() const { return m_code; }

private:
    int32_t m_code;
};

} // namespace ZiRez
