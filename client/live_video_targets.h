#pragma once

// The registered video targets: where decoded pictures go.

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>

#include "client/kaltro_live.h"

namespace kaltro {

struct TargetSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

class VideoTargets {
public:
    std::uint32_t add(KALTRO_VIDEO_CB callback, void* user);
    bool set_size(std::uint32_t id, TargetSize size);
    TargetSize size(std::uint32_t id);
    // Waits for a delivery in progress to that target, then forgets it.
    bool remove(std::uint32_t id);
    // Calls the target's callback, if the target exists; never under the table lock.
    bool deliver(std::uint32_t id, const KALTRO_VIDEO_FRAME& frame);

private:
    struct Target {
        KALTRO_VIDEO_CB callback = nullptr;
        void* user = nullptr;
        TargetSize size;
        int deliveries = 0;  // callbacks running now
        bool removed = false;
    };

    std::mutex m_lock;
    std::condition_variable m_idle;
    std::map<std::uint32_t, Target> m_targets;
    std::uint32_t m_next_id = 1;
};

VideoTargets& video_targets();

}  // namespace kaltro
