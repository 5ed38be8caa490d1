// The searches a front end runs while flashed devices await their verdict.
#include "batch/verdict_search.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "runtime/rt_time.h"

namespace {

// Waits (real time, with a deadline) until `done` holds.
template <class Done>
bool wait_for(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class VerdictSearchTest : public ::testing::Test {
protected:
    void SetUp() override { rt_set_time_speed(1000); }
    void TearDown() override {
        search.stop();
        rt_set_time_speed(1);
    }
    void start() {
        search.start([this] { ++searches; });
    }

    VerdictSearch search{3000};
    std::atomic<int> searches{0};
};

TEST_F(VerdictSearchTest, SearchesOnlyWhileADeviceWaits) {
    start();
    rt_sleep_ms(30000);
    EXPECT_EQ(searches.load(), 0);  // idle: nothing goes out
    std::optional<VerdictSearch::Waiting> first;
    first.emplace(search);
    EXPECT_TRUE(wait_for([&] { return searches.load() == 1; }));  // at once
    {
        VerdictSearch::Waiting second(search);  // one more device, no extra search
        EXPECT_EQ(search.waiting(), 2);
    }
    EXPECT_TRUE(wait_for([&] { return searches.load() >= 3; }));  // again every interval
    first.reset();
    EXPECT_EQ(search.waiting(), 0);
    rt_sleep_ms(4000);  // one search may have been under way
    const int settled = searches.load();
    rt_sleep_ms(30000);
    EXPECT_EQ(searches.load(), settled);
}

TEST_F(VerdictSearchTest, StopEndsTheSearchesAndStartBeginsThemAgain) {
    VerdictSearch::Waiting waiting(search);
    rt_sleep_ms(10000);
    EXPECT_EQ(searches.load(), 0);  // counted in, but no front end searches
    start();
    EXPECT_TRUE(wait_for([&] { return searches.load() >= 1; }));
    search.stop();
    const int stopped = searches.load();
    rt_sleep_ms(10000);
    EXPECT_EQ(searches.load(), stopped);
    start();
    EXPECT_TRUE(wait_for([&] { return searches.load() > stopped; }));
}

}  // namespace
