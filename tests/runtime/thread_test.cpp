#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "runtime/cthread.h"
#include "trace_capture.h"

namespace {

struct Counter {
    std::atomic<int> calls{0};
    int stop_after = -1;  // ThreadFunc returns 1 on this call number
    int ThreadFunc(std::uint32_t) {
        int n = ++calls;
        if (n == stop_after) return 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 0;
    }
};

std::mutex g_sleeps_lock;
std::vector<std::int64_t> g_sleeps;
void record_sleep(std::int64_t ms) {
    std::lock_guard<std::mutex> guard(g_sleeps_lock);
    g_sleeps.push_back(ms);
}

struct Recorder {
    std::atomic<int> calls{0};
    int ThreadFunc(std::uint32_t) { return ++calls >= 2 ? 1 : 0; }
};

std::vector<std::int64_t> sleeps_between_two_calls(std::int32_t interval) {
    {
        std::lock_guard<std::mutex> guard(g_sleeps_lock);
        g_sleeps.clear();
    }
    rt_set_sleep_observer(record_sleep);
    Recorder r;
    CThread<Recorder> t;
    EXPECT_EQ(t.Start(&r, 0, interval), RC_OK);
    while (r.calls < 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(t.Stop(), RC_OK);
    rt_set_sleep_observer(nullptr);
    std::lock_guard<std::mutex> guard(g_sleeps_lock);
    return g_sleeps;
}

}  // namespace

TEST(CThread, StartAndStopCodes) {
    TraceCapture trace;
    CThread<Counter> t;
    EXPECT_EQ(t.Start(nullptr, 0, 0), RC_INVALID_ARG);
    EXPECT_FALSE(t.IsRunning());
    EXPECT_EQ(t.Stop(), RC_NOT_STARTED);
    EXPECT_TRUE(trace.contains("CThread<class (anonymous namespace)::Counter>::Stop"));

    Counter c;
    ASSERT_EQ(t.Start(&c, 7, 0), RC_OK);
    Counter other;
    EXPECT_EQ(t.Start(&other, 0, 0), RC_ALREADY_STARTED);
    while (c.calls == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(t.Stop(), RC_OK);
    EXPECT_EQ(other.calls.load(), 0);
    EXPECT_EQ(t.Stop(), RC_NOT_STARTED);
    EXPECT_TRUE(trace.contains("quit thread object\n"));
}

TEST(CThread, PauseIsSleptInSlicesOf200) {
    EXPECT_EQ(sleeps_between_two_calls(450), (std::vector<std::int64_t>{200, 200, 50}));
    EXPECT_EQ(sleeps_between_two_calls(200), (std::vector<std::int64_t>{200}));
    EXPECT_TRUE(sleeps_between_two_calls(0).empty());
    EXPECT_TRUE(sleeps_between_two_calls(-5).empty());
}

TEST(CThread, StopDuringLongIntervalIsQuick) {
    Counter c;
    CThread<Counter> t;
    ASSERT_EQ(t.Start(&c, 0, 2147483647), RC_OK);
    while (c.calls == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(t.Stop(), RC_OK);
    auto waited = std::chrono::steady_clock::now() - start;
    // One slice at most, with room for a loaded machine.
    EXPECT_LT(waited, std::chrono::milliseconds(2000));
    EXPECT_EQ(c.calls.load(), 1);
}

TEST(CThread, ThreadThatEndsItselfStaysRunningUntilStop) {
    Counter c;
    c.stop_after = 1;
    CThread<Counter> t;
    ASSERT_EQ(t.Start(&c, 0, 0), RC_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(c.calls.load(), 1);
    EXPECT_EQ(t.Start(&c, 0, 0), RC_ALREADY_STARTED);
    EXPECT_EQ(t.Stop(), RC_OK);
    EXPECT_EQ(t.Start(&c, 0, 0), RC_OK);  // idle again, can be reused
    EXPECT_EQ(t.Stop(), RC_OK);
}

TEST(CThread, DestructorStopsARunningThread) {
    Counter c;
    {
        CThread<Counter> t;
        ASSERT_EQ(t.Start(&c, 0, 10), RC_OK);
    }
    int after = c.calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(c.calls.load(), after);
}

namespace {
struct SelfStopper {
    CThread<SelfStopper>* owner = nullptr;
    std::atomic<int> result{-1};
    int ThreadFunc(std::uint32_t) {
        result = owner->Stop();
        return 1;
    }
};
}  // namespace

TEST(CThread, StopFromItsOwnThreadIsRefusedNotDeadlocked) {
    SelfStopper s;
    CThread<SelfStopper> t;
    s.owner = &t;
    ASSERT_EQ(t.Start(&s, 0, 0), RC_OK);
    while (s.result == -1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(s.result.load(), RC_FAIL);
    EXPECT_EQ(t.Stop(), RC_OK);
}

// A timed wait on a condition: the observer sees it like a sleep, it lasts
// its whole time when nothing happens, and another thread can end it early.
TEST(RtWait, LastsItsTimeUnlessCutShort) {
    std::mutex lock;
    std::condition_variable wake;
    bool cut = false;
    {
        std::lock_guard<std::mutex> guard(g_sleeps_lock);
        g_sleeps.clear();
    }
    rt_set_sleep_observer(record_sleep);
    rt_set_time_speed(50);
    std::unique_lock<std::mutex> held(lock);
    const std::int64_t before = rt_clock_ms();
    EXPECT_FALSE(rt_wait_ms(wake, held, 100, [&] { return cut; }));
    EXPECT_GE(rt_clock_ms() - before, 100);
    std::thread cutter([&] {
        std::lock_guard<std::mutex> guard(lock);
        cut = true;
        wake.notify_all();
    });
    // A day of system time: only the other thread can end this wait.
    EXPECT_TRUE(rt_wait_ms(wake, held, 86400000, [&] { return cut; }));
    held.unlock();
    cutter.join();
    rt_set_sleep_observer(nullptr);
    rt_set_time_speed(1);
    std::lock_guard<std::mutex> guard(g_sleeps_lock);
    EXPECT_EQ(g_sleeps, (std::vector<std::int64_t>{100, 86400000}));
}
