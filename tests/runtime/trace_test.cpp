#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "runtime/rt_time.h"
#include "trace_capture.h"

TEST(Trace, PositionLineThenMessage) {
    TraceCapture trace;
    TRACE_MSG("CDiscovery::StartDiscovery", "open send.txt failed\n");
    auto lines = trace.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "[trace_test : CDiscovery::StartDiscovery] " + std::to_string(__LINE__ - 3) + " entered\n");
    EXPECT_EQ(lines[1], "open send.txt failed\n");
}

TEST(Trace, LongOutputIsCutAt1024WithoutSplittingACharacter) {
    TraceCapture trace;
    std::string text(1023, 'a');
    text += "\xC3\xA9";  // a two-byte character across the limit
    text += std::string(3000, 'b');
    debug_print("%s", text.c_str());
    auto lines = trace.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], std::string(1023, 'a'));
}

TEST(Trace, ConcurrentWritersKeepLinesWhole) {
    TraceCapture trace;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) debug_print("thread %d line %d\n", t, i);
        });
    for (auto& t : threads) t.join();
    auto lines = trace.lines();
    EXPECT_EQ(lines.size(), 800u);
    for (const auto& line : lines) EXPECT_EQ(line.rfind("thread ", 0), 0u);
}

TEST(RtTime, SpeedFactorScalesSleepAndClock) {
    rt_set_time_speed(100);
    auto real_start = std::chrono::steady_clock::now();
    std::int64_t start = rt_clock_ms();
    rt_sleep_ms(2000);  // 20 ms of real time
    std::int64_t elapsed = rt_clock_ms() - start;
    auto real = std::chrono::steady_clock::now() - real_start;
    rt_set_time_speed(1);
    EXPECT_GE(elapsed, 2000);
    EXPECT_LT(real, std::chrono::milliseconds(1500));
    EXPECT_EQ(rt_time_speed(), 1.0);
}

TEST(RtTime, ClockNeverJumpsBackWhenSpeedChanges) {
    rt_set_time_speed(50);
    std::int64_t a = rt_clock_ms();
    rt_set_time_speed(1);
    std::int64_t b = rt_clock_ms();
    rt_set_time_speed(0.2);  // below 1 is taken as 1
    EXPECT_EQ(rt_time_speed(), 1.0);
    EXPECT_GE(b, a);
}
