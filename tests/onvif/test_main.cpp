#include <gtest/gtest.h>

#include "runtime/trace.h"

// The engines and the session trace every dropped reply and failed call;
// tests that look at the trace capture it themselves.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    set_trace_sink(trace_null_sink, nullptr);
    return RUN_ALL_TESTS();
}
