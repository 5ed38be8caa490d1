#include "client/event_dispatcher.h"

namespace kaltro {

void EventTarget::wait_idle(std::unique_lock<std::mutex>& guard) {
    // A callback that logs out its own login must not wait for itself.
    if (m_runner == std::this_thread::get_id()) return;
    m_idle.wait(guard, [this] { return !m_running; });
}

void EventTarget::set(NETWORK_EVENT_CB callback, void* user) {
    std::unique_lock<std::mutex> guard(m_lock);
    wait_idle(guard);
    m_callback = callback;
    m_user = user;
}

void EventTarget::close() {
    std::unique_lock<std::mutex> guard(m_lock);
    m_closed = true;
    wait_idle(guard);
}

bool EventTarget::deliver(std::int32_t handle, DEVICE_EVENT event) {
    NETWORK_EVENT_CB callback;
    void* user;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_closed || m_callback == nullptr) return false;
        callback = m_callback;
        user = m_user;
        m_running = true;
        m_runner = std::this_thread::get_id();
    }
    callback(handle, &event, user);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_running = false;
        m_runner = std::thread::id();
    }
    m_idle.notify_all();
    return true;
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

void EventDispatcher::post(Item item) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_queue.push_back(std::move(item));
    }
    m_wake.notify_one();
}

void EventDispatcher::run() {
    std::unique_lock<std::mutex> guard(m_lock);
    for (;;) {
        m_wake.wait(guard, [this] { return m_stop || !m_queue.empty(); });
        if (m_queue.empty()) return;  // stopping, everything delivered
        Item item = std::move(m_queue.front());
        m_queue.pop_front();
        guard.unlock();
        if (!item.target->deliver(item.handle, item.event) && item.on_undelivered) item.on_undelivered();
        guard.lock();
    }
}

}  // namespace kaltro
