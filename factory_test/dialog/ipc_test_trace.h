#pragma once

#include "runtime/trace.h"

// The bench's trace lines name their source "IpcTest", whichever of the
// dialog's files writes them, so operators' logs read the same everywhere.
#define IPC_TRACE_POS(function_name) \
    debug_print("[%s : %s] %d entered\n", "IpcTest", (function_name), static_cast<int>(__LINE__))
#define IPC_TRACE_MSG(function_name, ...) \
    do {                                  \
        IPC_TRACE_POS(function_name);     \
        debug_print(__VA_ARGS__);         \
    } while (0)
