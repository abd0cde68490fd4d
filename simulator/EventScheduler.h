// Tavix CallerID simulator: the box's worker thread and its timetable.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

// Runs actions on a thread of its own at their due time; actions due at the same time run in
// the order they were scheduled. Between start() and stop() only.
class EventScheduler
{
  public:
    using Clock = std::chrono::steady_clock;
    using Action = std::function<void()>;

    EventScheduler() = default;
    ~EventScheduler();
    EventScheduler(const EventScheduler&) = delete;
    EventScheduler& operator=(const EventScheduler&) = delete;

    void start();
    // Drops what is still pending and joins the thread: when it returns, no action runs any
    // more. Must not be called from an action.
    void stop();
    // Ignored while the scheduler is stopped.
    void schedule(Clock::time_point due, Action action);

  private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::multimap<Clock::time_point, Action> m_pending;
    bool m_running = false;
    std::thread m_thread;
};
