#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "runtime/cmutex.h"
#include "trace_capture.h"

TEST(CMutex, MisuseCodes) {
    TraceCapture trace;
    CMutex m;
    EXPECT_EQ(m.Wait(), 1);
    EXPECT_EQ(m.Release(), 1);
    EXPECT_EQ(m.Close(), 1);
    EXPECT_TRUE(trace.contains("CMutex::Wait"));
    EXPECT_TRUE(trace.contains("CMutex::Close"));
    ASSERT_EQ(m.Create(), 0);
    EXPECT_EQ(m.Create(), 1);
    EXPECT_TRUE(trace.contains("CMutex::Create"));
    // The first lock is still the one in use.
    EXPECT_EQ(m.Wait(), 0);
    EXPECT_EQ(m.Release(), 0);
    EXPECT_EQ(m.Close(), 0);
    EXPECT_EQ(m.Close(), 1);
}

TEST(CMutex, ReleaseByAnotherThreadFails) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the thread sanitizer reports this deliberate misuse itself";
#endif
    CMutex m;
    ASSERT_EQ(m.Create(), 0);
    EXPECT_EQ(m.Wait(), 0);
    int from_other = -1;
    std::thread([&] { from_other = m.Release(); }).join();
    EXPECT_EQ(from_other, 1);
    EXPECT_EQ(m.Release(), 0);
    EXPECT_EQ(m.Release(), 1);  // no longer owned by anyone
    m.Close();
}

TEST(CMutex, RecursiveForItsOwner) {
    CMutex m;
    ASSERT_EQ(m.Create(), 0);
    EXPECT_EQ(m.Wait(), 0);
    EXPECT_EQ(m.Wait(), 0);
    EXPECT_EQ(m.Release(), 0);
    EXPECT_EQ(m.Release(), 0);
    m.Close();
}

TEST(CMutex, GuardsACounterUnderContention) {
    CMutex m;
    ASSERT_EQ(m.Create(), 0);
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                CAutoMutex lock(&m);
                ++counter;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 80000);
    m.Close();
}

TEST(CAutoMutex, NullHoldsNothing) {
    TraceCapture trace;
    { CAutoMutex lock(nullptr); }
    EXPECT_TRUE(trace.contains("CAutoMutex::CAutoMutex"));
    EXPECT_FALSE(trace.contains("CMutex::Release"));
}
