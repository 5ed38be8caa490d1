#pragma once

// The library thread that runs device event callbacks. Sessions queue their
// events here; callbacks run one at a time, never with a library lock held.
// A session being logged out (or changing its callback) waits until a
// callback already running for it has returned, so no callback for a login
// runs after its Logout returned.

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "client/kaltro_client.h"

namespace kaltro {

// What a session keeps about its event callback.
class EventTarget {
public:
    void set(NETWORK_EVENT_CB callback, void* user);
    // Marks the target closed and waits for a running callback (unless the
    // caller is that callback). Afterwards no callback is started.
    void close();
    // Runs the callback with `event`; false when none is set (or closed).
    bool deliver(std::int32_t handle, DEVICE_EVENT event);

private:
    void wait_idle(std::unique_lock<std::mutex>& guard);

    std::mutex m_lock;
    std::condition_variable m_idle;
    NETWORK_EVENT_CB m_callback = nullptr;
    void* m_user = nullptr;
    bool m_closed = false;
    bool m_running = false;
    std::thread::id m_runner;
};

class EventDispatcher {
public:
    struct Item {
        std::shared_ptr<EventTarget> target;
        std::int32_t handle;
        DEVICE_EVENT event;
        // Runs on the dispatcher thread when no callback took the event.
        std::function<void()> on_undelivered;
    };

    void start();
    // Delivers what is queued, then joins the thread.
    void stop();
    void post(Item item);

private:
    void run();

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<Item> m_queue;
    bool m_stop = false;
    std::thread m_thread;
};

}  // namespace kaltro
