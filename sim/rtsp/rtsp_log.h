#pragma once

// What one simulated camera's RTSP server saw, for tests and the state dump:
// the requests a client sent (DESCRIBE, SETUP, PLAY and TEARDOWN that passed
// the login), requests refused for a missing or wrong login, streams whose
// pipeline runs now, and pictures encoded and sent.

#include <atomic>
#include <nlohmann/json.hpp>

struct RtspLog {
    std::atomic<int> describes{0};
    std::atomic<int> setups{0};
    std::atomic<int> plays{0};
    std::atomic<int> teardowns{0};
    std::atomic<int> refused{0};
    std::atomic<int> streams_running{0};
    std::atomic<int> frames_sent{0};

    nlohmann::json to_json() const {
        return {{"describe", describes.load()}, {"setup", setups.load()},
                {"play", plays.load()},         {"teardown", teardowns.load()},
                {"refused", refused.load()},    {"streams_running", streams_running.load()},
                {"frames_sent", frames_sent.load()}};
    }
};
