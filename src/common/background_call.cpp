#include "common/background_call.h"

namespace common {

BackgroundCall::BackgroundCall()
    : m_thread([this] { run(); })
{
}

BackgroundCall::~BackgroundCall()
{
    wait();
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void BackgroundCall::start(std::function<void()> work)
{
    wait();
    {
        const std::lock_guard lock(m_mutex);
        m_work = std::move(work);
    }
    m_started = true;
    m_changed.notify_all();
}

void BackgroundCall::wait()
{
    if (!m_started) {
        return;
    }
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_work; });
    m_started = false;
}

void BackgroundCall::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_quit || m_work; });
        if (!m_work) {
            return; // quit, and nothing left to do
        }
        std::function<void()> work = m_work;
        lock.unlock();
        work();
        lock.lock();
        m_work = nullptr;
        m_changed.notify_all();
    }
}

} // namespace common
