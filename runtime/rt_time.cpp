#include "runtime/rt_time.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t real_us() {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
}

// The scaled clock is a line through (real anchor, system anchor) with the
// current speed as its slope; changing the speed moves the anchor so the
// clock never jumps.
struct ScaledClock {
    std::mutex lock;
    double speed = 1.0;
    std::int64_t real_anchor_us = real_us();
    double system_anchor_us = 0;
};

ScaledClock& scaled_clock() {
    static ScaledClock clock;
    return clock;
}

std::atomic<double> g_speed{1.0};
std::atomic<SleepObserver> g_observer{nullptr};

}  // namespace

std::int64_t rt_calendar_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

namespace {

// Tells the observer of a wait of `ms` and answers its length in real time.
std::chrono::microseconds begin_wait(std::int64_t ms) {
    if (SleepObserver observer = g_observer.load(std::memory_order_acquire)) observer(ms);
    double real = static_cast<double>(ms) * 1000.0 / g_speed.load(std::memory_order_relaxed);
    return std::chrono::microseconds(static_cast<std::int64_t>(real));
}

}  // namespace

void rt_sleep_ms(std::int64_t ms) {
    if (ms <= 0) return;
    std::this_thread::sleep_for(begin_wait(ms));
}

bool rt_wait_ms(std::condition_variable& wake, std::unique_lock<std::mutex>& lock, std::int64_t ms,
                const std::function<bool()>& done) {
    if (ms <= 0) return done();
    return wake.wait_for(lock, begin_wait(ms), done);
}

std::int64_t rt_clock_ms() {
    ScaledClock& c = scaled_clock();
    std::lock_guard<std::mutex> guard(c.lock);
    double system_us = c.system_anchor_us + static_cast<double>(real_us() - c.real_anchor_us) * c.speed;
    return static_cast<std::int64_t>(system_us / 1000.0);
}

void rt_set_time_speed(double factor) {
    if (!(factor >= 1.0)) factor = 1.0;
    ScaledClock& c = scaled_clock();
    std::lock_guard<std::mutex> guard(c.lock);
    std::int64_t now = real_us();
    c.system_anchor_us += static_cast<double>(now - c.real_anchor_us) * c.speed;
    c.real_anchor_us = now;
    c.speed = factor;
    g_speed.store(factor, std::memory_order_relaxed);
}

double rt_time_speed() { return g_speed.load(std::memory_order_relaxed); }

void rt_set_sleep_observer(SleepObserver observer) { g_observer.store(observer, std::memory_order_release); }
