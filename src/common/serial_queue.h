// SerialQueue: pieces of work run one after the other, in the order they were handed over, on a
// thread of its own, while the caller goes on; each piece's future says when it has ended. Work
// still queued when the object goes is run to its end first.
//
//     common::SerialQueue switches;
//     std::future<void> done = switches.push([&] { answer = connection.execute(statement); });
//     ...fill the next table meanwhile...
//     done.wait(); // `answer` is set
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace common {

class SerialQueue
{
public:
    SerialQueue();
    ~SerialQueue();
    SerialQueue(const SerialQueue &) = delete;
    SerialQueue &operator=(const SerialQueue &) = delete;

    std::future<void> push(std::function<void()> work);

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::packaged_task<void()>> m_work;
    bool m_quit = false;
    std::thread m_thread;
};

} // namespace common
