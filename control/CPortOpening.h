#pragma once

#include <cstdint>
#include <string>

// One Linux firewall's opening for the key service's TCP port, under the name Ternwick.
class CPortOpening
{
public:
    virtual ~CPortOpening() = default;
    // The firewall filters incoming connections now.
    virtual bool IsActive() = 0;
    // The opening made by the install is there.
    virtual bool Exists() = 0;
    virtual bool Open(uint16_t port) = 0;
    virtual bool Close() = 0;
    virtual bool MoveToPort(uint16_t port) = 0;
    // The firewall's name and what its tool said when the last step failed, for messages.
    virtual const char* Name() const = 0;
    virtual const std::string& LastFailure() const = 0;
};
