#include "RecordingViews.h"

#include <chrono>

void CRecordingMainView::PostToUiThread(std::function<void()> work)
{
    {
        const std::lock_guard lock(m_mutex);
        m_work.push_back(std::move(work));
    }
    m_posted.notify_all();
}

bool CRecordingMainView::RunPosted(int timeOutMs)
{
    std::deque<std::function<void()>> work;
    {
        std::unique_lock lock(m_mutex);
        if (!m_posted.wait_for(lock, std::chrono::milliseconds(timeOutMs), [this] { return !m_work.empty(); })) {
            return false;
        }
        work.swap(m_work);
    }
    for (auto& item : work) {
        item();
    }
    return true;
}
