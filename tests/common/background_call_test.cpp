#include "common/background_call.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

TEST(BackgroundCallTest, WorkRunsOnAnotherThreadAndIsCollectedInTheOrderItWasStarted)
{
    common::BackgroundCall call;
    std::vector<int> done;
    std::thread::id worker;
    for (int i = 0; i < 100; ++i) {
        // start() itself waits for the work before: no two pieces ever overlap.
        call.start([&done, &worker, i] {
            done.push_back(i);
            worker = std::this_thread::get_id();
        });
        EXPECT_TRUE(call.busy());
    }
    call.wait();
    EXPECT_FALSE(call.busy());
    ASSERT_EQ(done.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(done[static_cast<std::size_t>(i)], i);
    }
    EXPECT_NE(worker, std::this_thread::get_id());
}

TEST(BackgroundCallTest, TheCallerGoesOnWhileTheWorkRunsAndWaitReturnsOnceItEnded)
{
    common::BackgroundCall call;
    std::atomic<bool> release { false };
    std::atomic<bool> finished { false };
    call.start([&] {
        while (!release) {
            std::this_thread::yield();
        }
        finished = true;
    });
    EXPECT_FALSE(finished); // start() did not wait for it
    release = true;
    call.wait();
    EXPECT_TRUE(finished);
    call.wait(); // nothing started: returns at once
}

TEST(BackgroundCallTest, WorkNeverCollectedIsWaitedForWhenTheCallGoes)
{
    std::atomic<bool> finished { false };
    {
        common::BackgroundCall call;
        call.start([&] {
            std::this_thread::yield();
            finished = true;
        });
    }
    EXPECT_TRUE(finished);
}

} // namespace
