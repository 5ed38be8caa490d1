#include <gtest/gtest.h>

#include "runtime/trace.h"

// The searches trace every dropped reply; tests that look at the trace
// capture it themselves.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    set_trace_sink(trace_null_sink, nullptr);
    return RUN_ALL_TESTS();
}
