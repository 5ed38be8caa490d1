#include "client/event_dispatcher.h"

#include "runtime/trace.h"

namespace kaltro {

namespace {
bool same_event(const DEVICE_EVENT& a, const DEVICE_EVENT& b) {
    return a.main == b.main && a.sub == b.sub && a.param == b.param;
}
}  // namespace

void EventTarget::wait_idle(std::unique_lock<std::mutex>& guard) {
    // A callback that logs out its own login must not wait for itself.
    if (m_runner == std::this_thread::get_id()) return;
    m_idle.wait(guard, [this] { return !m_running; });
}

void EventTarget::bind(std::int32_t handle) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_handle = handle;
}

bool EventTarget::schedule_locked() {
    if (m_scheduled) return false;
    m_scheduled = true;
    return true;
}

bool EventTarget::set(NETWORK_EVENT_CB callback, void* user) {
    std::unique_lock<std::mutex> guard(m_lock);
    wait_idle(guard);
    m_callback = callback;
    m_user = user;
    if (m_closed || callback == nullptr || !m_disconnect_waiting) return false;
    return schedule_locked();
}

void EventTarget::close() {
    std::unique_lock<std::mutex> guard(m_lock);
    m_closed = true;
    m_waiting.clear();
    m_disconnect_waiting = false;
    wait_idle(guard);
}

bool EventTarget::push(const DEVICE_EVENT& event) {
    std::int32_t handle;
    std::uint64_t dropped;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        // Nobody to take it: an event is news only while a callback listens.
        if (m_closed || m_callback == nullptr) return false;
        for (const DEVICE_EVENT& waiting : m_waiting)
            if (same_event(waiting, event)) return false;
        if (m_waiting.size() < kMaxWaiting) {
            m_waiting.push_back(event);
            return schedule_locked();
        }
        ++m_dropped;
        if (m_overflowing) return false;
        m_overflowing = true;
        handle = m_handle;
        dropped = m_dropped;
    }
    TRACE_MSG("kaltro::EventTarget::push",
              "handle %d: the device sends events faster than the callback takes them; dropping (%llu so far)\n",
              handle, static_cast<unsigned long long>(dropped));
    return false;
}

bool EventTarget::push_disconnect() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_closed || m_disconnect_given) return false;
    m_disconnect_given = true;
    m_disconnect_waiting = true;
    return m_callback != nullptr && schedule_locked();
}

bool EventTarget::take_next(DEVICE_EVENT& event) {
    if (!m_waiting.empty()) {
        event = m_waiting.front();
        m_waiting.pop_front();
        return true;
    }
    m_overflowing = false;  // the callback caught up: a new burst is traced again
    if (!m_disconnect_waiting) return false;
    m_disconnect_waiting = false;
    event = DEVICE_EVENT{static_cast<std::int32_t>(sizeof(DEVICE_EVENT)), EVENT_DISCONNECTED, 0, 0};
    return true;
}

bool EventTarget::deliver_next() {
    NETWORK_EVENT_CB callback;
    void* user;
    std::int32_t handle;
    DEVICE_EVENT event;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_closed || m_callback == nullptr) {
            // Without a callback the device's events are lost; a disconnect
            // stays for the first callback set.
            m_waiting.clear();
            m_scheduled = false;
            return false;
        }
        if (!take_next(event)) {
            m_scheduled = false;
            return false;
        }
        callback = m_callback;
        user = m_user;
        handle = m_handle;
        m_running = true;
        m_runner = std::this_thread::get_id();
    }
    callback(handle, &event, user);
    bool more;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_running = false;
        m_runner = std::thread::id();
        more = !m_closed && (!m_waiting.empty() || (m_disconnect_waiting && m_callback != nullptr));
        if (!more) m_scheduled = false;
    }
    m_idle.notify_all();
    return more;
}

void EventDispatcher::start() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_thread.joinable()) return;
    m_stop = false;
    m_thread = std::thread(&EventDispatcher::run, this);
}

void EventDispatcher::stop() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

void EventDispatcher::schedule(std::shared_ptr<EventTarget> target) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_ready.push_back(std::move(target));
    }
    m_wake.notify_one();
}

void EventDispatcher::run() {
    std::unique_lock<std::mutex> guard(m_lock);
    for (;;) {
        m_wake.wait(guard, [this] { return m_stop || !m_ready.empty(); });
        if (m_ready.empty()) return;  // stopping, everything delivered
        std::shared_ptr<EventTarget> target = std::move(m_ready.front());
        m_ready.pop_front();
        guard.unlock();
        // One event per turn, so a flooding login cannot starve the others.
        bool more = target->deliver_next();
        guard.lock();
        if (more) m_ready.push_back(std::move(target));
    }
}

}  // namespace kaltro
