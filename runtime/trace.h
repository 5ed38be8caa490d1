#pragma once

#include <cstddef>

// The trace writer. Formats one printf-style line on the stack (never
// allocates) and hands it to the trace sink: standard error unless a test or a
// front end replaced it. Output longer than 1024 characters is cut there.
int debug_print(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Receives every formatted trace line. Called from any thread at the same
// time, so a sink must be thread-safe itself.
using TraceSink = void (*)(const char* text, std::size_t length, void* context);

// Replaces the sink; a null sink restores standard error. A sink that is being
// replaced may still receive a line already in flight: keep its context alive
// for the process' life. At most 64 distinct (sink, context) pairs can ever be
// set; past that the call returns 1 and the current sink stays.
int set_trace_sink(TraceSink sink, void* context);

// A sink that drops everything (benchmarks, quiet front ends).
void trace_null_sink(const char* text, std::size_t length, void* context);

// Position line of a traced event: "[file : function] line entered\n", with
// the source file's base name without extension.
const char* trace_file_name(const char* path);

// The source a position line names: the writing file's base name. Files
// whose lines should read as one source's (the parts of one dialog) name it
// themselves: #undef TRACE_SOURCE, then #define it, after this header.
#define TRACE_SOURCE trace_file_name(__FILE__)

#define TRACE_POS(function_name) \
    debug_print("[%s : %s] %d entered\n", TRACE_SOURCE, (function_name), static_cast<int>(__LINE__))

// Position line followed by the message proper.
#define TRACE_MSG(function_name, ...) \
    do {                              \
        TRACE_POS(function_name);     \
        debug_print(__VA_ARGS__);     \
    } while (0)
