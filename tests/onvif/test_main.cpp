#include <gtest/gtest.h>

#include "runtime/trace.h"

// The session traces every failed call; the tests judge results, not lines.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    set_trace_sink(trace_null_sink, nullptr);
    return RUN_ALL_TESTS();
}
