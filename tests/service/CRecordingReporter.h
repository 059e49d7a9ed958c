#pragma once

#include "service/CStatusReporter.h"

#include <mutex>
#include <utility>
#include <vector>

// Keeps the states reported, for the test to take.
class CRecordingReporter : public CStatusReporter
{
public:
    bool Report(const ServiceStatus& status) override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_states.push_back(status.currentState);
        return true;
    }
    std::vector<uint32_t> Take()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return std::exchange(m_states, {});
    }

private:
    std::mutex m_lock;
    std::vector<uint32_t> m_states;
};
