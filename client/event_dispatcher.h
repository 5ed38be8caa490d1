#pragma once

// The library thread that runs device event callbacks. Each login keeps its
// own short queue of waiting events (an EventTarget); the dispatcher thread
// takes the logins that have something waiting in turn and runs one callback
// at a time, never with a library lock held. A login being logged out (or
// changing its callback) waits until a callback already running for it has
// returned, so no callback for a login runs after its Logout returned.
//
// A device decides how many events it sends, the caller how fast its callback
// takes them: the queue of a login is bounded, an event equal to one already
// waiting is merged into it, and what does not fit is dropped (and traced).
// The disconnect event is kept apart and given exactly once, after the
// events that came before it.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "client/kaltro_client.h"

namespace kaltro {

// What a login keeps about its event callback, and its waiting events.
class EventTarget {
public:
    // Distinct events a login may have waiting for its callback.
    static constexpr std::size_t kMaxWaiting = 64;

    void bind(std::int32_t handle);
    // Sets the callback; true when the target now has something to deliver
    // and must be scheduled (a disconnect kept for the first callback).
    bool set(NETWORK_EVENT_CB callback, void* user);
    // Marks the target closed and waits for a running callback (unless the
    // caller is that callback). Afterwards no callback is started.
    void close();

    // Queue an event from the device; true when the target must be scheduled.
    bool push(const DEVICE_EVENT& event);
    // Queue the disconnect event (once per login); true when the target must
    // be scheduled. Without a callback it waits for the first one set.
    bool push_disconnect();
    // Runs the callback for the next waiting event; true while more wait
    // (the target stays scheduled), false once it is idle.
    bool deliver_next();

private:
    bool schedule_locked();
    void wait_idle(std::unique_lock<std::mutex>& guard);
    bool take_next(DEVICE_EVENT& event);

    mutable std::mutex m_lock;
    std::condition_variable m_idle;
    std::int32_t m_handle = -1;
    NETWORK_EVENT_CB m_callback = nullptr;
    void* m_user = nullptr;
    bool m_closed = false;
    bool m_running = false;
    std::thread::id m_runner;
    std::deque<DEVICE_EVENT> m_waiting;
    bool m_disconnect_waiting = false;
    bool m_disconnect_given = false;  // queued once; never again for this login
    bool m_scheduled = false;         // in the dispatcher's list, or being delivered
    std::uint64_t m_dropped = 0;
    bool m_overflowing = false;  // traced once per burst
};

class EventDispatcher {
public:
    void start();
    // Delivers what is waiting, then joins the thread.
    void stop();
    // Puts a target that has events waiting in line (each target at most once).
    void schedule(std::shared_ptr<EventTarget> target);

private:
    void run();

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<std::shared_ptr<EventTarget>> m_ready;
    bool m_stop = false;
    std::thread m_thread;
};

}  // namespace kaltro
