// BackgroundCall: one piece of work at a time on a thread of its own, so that the caller can
// prepare the next piece meanwhile. The caller hands work over with start() and collects it
// with wait(); work that is never collected is waited for when the object goes.
//
//     common::BackgroundCall sender;
//     sender.start([&] { answer = connection.execute(statement); });
//     ...prepare the next statement...
//     sender.wait(); // `answer` is set, and the connection free again
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace common {

class BackgroundCall
{
public:
    BackgroundCall();
    ~BackgroundCall();
    BackgroundCall(const BackgroundCall &) = delete;
    BackgroundCall &operator=(const BackgroundCall &) = delete;

    // Runs `work` on the thread; waits first for work started before and not yet collected.
    void start(std::function<void()> work);
    // Returns once the work last started has ended (at once when there is none).
    void wait();
    // Whether work was started and not yet collected by wait().
    bool busy() const { return m_started; }

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::function<void()> m_work; // set while the thread has work to do
    bool m_started = false; // read and written by the caller's thread only
    bool m_quit = false;
    std::thread m_thread;
};

} // namespace common
