#pragma once

#include <cstdint>
#include <functional>

#include "runtime/rt_time.h"

// Waits (in the runtime's, possibly sped-up, time) until `done` holds or
// `budget_ms` passed; answers whether it held.
inline bool wait_for(const std::function<bool()>& done, std::int64_t budget_ms = 20000) {
    std::int64_t deadline = rt_clock_ms() + budget_ms;
    while (!done()) {
        if (rt_clock_ms() > deadline) return false;
        rt_sleep_ms(10);
    }
    return true;
}
