#pragma once

#include "service/CLogSink.h"

// The log's text on a descriptor: standard error, or the service's log file on Windows.
class CDescriptorSink : public CLogSink
{
public:
    explicit CDescriptorSink(int descriptor) : m_descriptor(descriptor) {}

    void Write(const char* bytes, size_t length) override;

private:
    const int m_descriptor;
};
