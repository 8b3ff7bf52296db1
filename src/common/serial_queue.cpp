#include "common/serial_queue.h"

namespace common {

SerialQueue::SerialQueue()
    : m_thread([this] { run(); })
{
}

SerialQueue::~SerialQueue()
{
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

std::future<void> SerialQueue::push(std::function<void()> work)
{
    std::packaged_task<void()> task(std::move(work));
    std::future<void> done = task.get_future();
    {
        const std::lock_guard lock(m_mutex);
        m_work.push_back(std::move(task));
    }
    m_changed.notify_all();
    return done;
}

void SerialQueue::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_quit || !m_work.empty(); });
        if (m_work.empty()) {
            return; // quit, and nothing left to do
        }
        std::packaged_task<void()> task = std::move(m_work.front());
        m_work.pop_front();
        lock.unlock();
        task(); // an exception ends up in the task's future, not here
        lock.lock();
    }
}

} // namespace common
