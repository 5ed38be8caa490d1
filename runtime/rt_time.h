#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

// Every timed wait of the system goes through rt_sleep_ms, and every budget is
// measured with rt_clock_ms, so tests can speed time up process-wide. With a
// speed factor of 100 a 40-second wait takes 0.4 s of real time and
// rt_clock_ms advances 100 times faster than the wall clock.

// Sleeps for ms of system time (ms / speed of real time); 0 or less returns at once.
void rt_sleep_ms(std::int64_t ms);

// Waits like rt_sleep_ms, but on `wake` with `lock` held (released while
// waiting), and ends early once `done` holds; answers `done` at the end. For
// a timed wait that another thread may cut short.
bool rt_wait_ms(std::condition_variable& wake, std::unique_lock<std::mutex>& lock, std::int64_t ms,
                const std::function<bool()>& done);

// Monotonic system time in milliseconds, scaled by the speed factor.
std::int64_t rt_clock_ms();

// Calendar time in milliseconds since the epoch, never scaled: for time
// stamps that people read (the job report), not for waits.
std::int64_t rt_calendar_ms();

// Sets the process-wide speed factor (1 = real time). Values below 1 are taken as 1.
void rt_set_time_speed(double factor);
double rt_time_speed();

// Test hook: called with the requested ms at every rt_sleep_ms, from the
// sleeping thread. Null removes it.
using SleepObserver = void (*)(std::int64_t ms);
void rt_set_sleep_observer(SleepObserver observer);
