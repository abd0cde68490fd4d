// Tavix CallerID simulator: the box's worker thread and its timetable.
#include "simulator/EventScheduler.h"

EventScheduler::~EventScheduler()
{
    stop();
}

void EventScheduler::start()
{
    std::lock_guard lock(m_mutex);
    if (m_running)
        return;
    m_running = true;
    m_thread = std::thread(&EventScheduler::run, this);
}

void EventScheduler::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_running = false;
        m_pending.clear();
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void EventScheduler::schedule(Clock::time_point due, Action action)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_running)
            return;
        // A multimap inserts after the equal keys, which keeps ties in scheduling order.
        m_pending.emplace(due, std::move(action));
    }
    m_wake.notify_all();
}

void EventScheduler::run()
{
    std::unique_lock lock(m_mutex);
    while (m_running) {
        if (m_pending.empty()) {
            m_wake.wait(lock);
            continue;
        }
        const auto due = m_pending.begin()->first;
        if (Clock::now() < due) {
            m_wake.wait_until(lock, due);
            continue;
        }
        Action action = std::move(m_pending.begin()->second);
        m_pending.erase(m_pending.begin());
        lock.unlock();
        action();
        lock.lock();
    }
}
