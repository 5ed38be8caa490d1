#pragma once

// What a simulated camera's live side did, for tests and the JSON state dump:
// streams started and stopped, frames sent, microphone tests.

#include <atomic>
#include <nlohmann/json.hpp>

struct LiveLog {
    std::atomic<int> streams_started{0};
    std::atomic<int> streams_stopped{0};
    std::atomic<int> streams_running{0};
    std::atomic<int> frames_sent{0};
    std::atomic<int> mic_tests_started{0};
    std::atomic<int> mic_tests_stopped{0};
    std::atomic<bool> mic_test_on{false};

    nlohmann::json to_json() const {
        return {{"streams_started", streams_started.load()}, {"streams_stopped", streams_stopped.load()},
                {"streams_running", streams_running.load()}, {"frames_sent", frames_sent.load()},
                {"mic_tests_started", mic_tests_started.load()}, {"mic_tests_stopped", mic_tests_stopped.load()},
                {"mic_test_on", mic_test_on.load()}};
    }
};
