#include "client/live_video_targets.h"

namespace kaltro {

VideoTargets& video_targets() {
    static VideoTargets targets;
    return targets;
}

std::uint32_t VideoTargets::add(KALTRO_VIDEO_CB callback, void* user) {
    std::lock_guard<std::mutex> guard(m_lock);
    std::uint32_t id = m_next_id++;
    if (m_next_id == 0) m_next_id = 1;  // 0 means "no target"
    m_targets[id] = Target{callback, user, {}, 0, false};
    return id;
}

bool VideoTargets::set_size(std::uint32_t id, TargetSize size) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_targets.find(id);
    if (it == m_targets.end() || it->second.removed) return false;
    it->second.size = size;
    return true;
}

TargetSize VideoTargets::size(std::uint32_t id) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_targets.find(id);
    return it == m_targets.end() ? TargetSize{} : it->second.size;
}

bool VideoTargets::remove(std::uint32_t id) {
    std::unique_lock<std::mutex> guard(m_lock);
    auto it = m_targets.find(id);
    if (it == m_targets.end() || it->second.removed) return false;
    it->second.removed = true;
    // Deliveries are short callbacks that never wait for us, so this ends.
    m_idle.wait(guard, [&] { return it->second.deliveries == 0; });
    m_targets.erase(it);
    return true;
}

bool VideoTargets::deliver(std::uint32_t id, const KALTRO_VIDEO_FRAME& frame) {
    KALTRO_VIDEO_CB callback = nullptr;
    void* user = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_targets.find(id);
        if (it == m_targets.end() || it->second.removed || !it->second.callback) return false;
        callback = it->second.callback;
        user = it->second.user;
        it->second.deliveries++;
    }
    callback(id, &frame, user);
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_targets.find(id);
    if (--it->second.deliveries == 0) m_idle.notify_all();
    return true;
}

}  // namespace kaltro
