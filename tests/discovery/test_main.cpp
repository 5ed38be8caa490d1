#include <gtest/gtest.h>

#include "discovery/xml_path.h"
#include "runtime/trace.h"

// The XML layer and the trace are chatty; tests that look at them capture
// them themselves.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    xml_set_output(nullptr);
    set_trace_sink(trace_null_sink, nullptr);
    return RUN_ALL_TESTS();
}
