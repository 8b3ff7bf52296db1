#include "common/serial_queue.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>

namespace {

TEST(SerialQueueTest, PiecesRunInTheOrderHandedOverWithoutWaitingForEachOther)
{
    std::atomic<bool> release { false };
    std::vector<int> done;
    std::vector<std::future<void>> ended;
    common::SerialQueue queue;
    ended.push_back(queue.push([&] {
        while (!release) {
            std::this_thread::yield();
        }
        done.push_back(0);
    }));
    // The first piece is still running: handing over more does not block the caller.
    for (int i = 1; i < 50; ++i) {
        ended.push_back(queue.push([&done, i] { done.push_back(i); }));
    }
    EXPECT_EQ(ended.back().wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    release = true;
    ended.back().wait();
    ASSERT_EQ(done.size(), 50u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(done[static_cast<std::size_t>(i)], i);
    }
}

TEST(SerialQueueTest, AFailingPieceReachesItsOwnFutureAndTheNextStillRuns)
{
    common::SerialQueue queue;
    auto failing = queue.push([] { throw std::runtime_error("refused"); });
    bool ran = false;
    auto next = queue.push([&ran] { ran = true; });
    EXPECT_THROW(failing.get(), std::runtime_error);
    next.get();
    EXPECT_TRUE(ran);
}

TEST(SerialQueueTest, WorkStillQueuedRunsToItsEndWhenTheQueueGoes)
{
    std::atomic<int> done { 0 };
    {
        common::SerialQueue queue;
        for (int i = 0; i < 20; ++i) {
            (void)queue.push([&done] {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                ++done;
            });
        }
    }
    EXPECT_EQ(done, 20);
}

} // namespace
