#pragma once

// The calling thread's abort check (Network_ClientSetThreadAbortCB): every
// wait of a library call on a device asks it at least every 100 ms, so a
// caller that is being stopped gets its thread back whatever the device does.

#include <cstdint>

namespace kaltro {

using AbortCheck = std::int32_t (*)(void* user);

// Sets (null: clears) the check of the calling thread.
void set_thread_abort_check(AbortCheck check, void* user);

// True when the calling thread's check asks to give up.
bool call_aborted();

}  // namespace kaltro
