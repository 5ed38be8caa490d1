#pragma once

#include "runtime/trace.h"

// The bench's trace lines name their source "IpcTest", whichever of the
// dialog's files writes them, so operators' logs read the same everywhere.
#undef TRACE_SOURCE
#define TRACE_SOURCE "IpcTest"
