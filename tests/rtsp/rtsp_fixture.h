#pragma once

// Shared set-up of the RTSP tests: the simulator's RTSP server on loopback
// addresses of this process' own, a video target that records what reaches
// it, and waits with a deadline. Streams run in real time (their pictures
// do), so time is not sped up here.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "client/kaltro_live.h"
#include "rtsp/rtsp_live.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"
#include "sim/live_time_code.h"
#include "sim/rtsp/rtsp_server.h"

inline bool wait_until(const std::function<bool()>& done, std::int64_t budget_ms = 20000) {
    const std::int64_t deadline = rt_clock_ms() + budget_ms;
    while (!done()) {
        if (rt_clock_ms() > deadline) return false;
        rt_sleep_ms(10);
    }
    return true;
}

// What a video target was given.
struct TargetLog {
    std::mutex lock;
    int pictures = 0;
    int end_marks = 0;
    int without_time_code = 0;
    bool opaque = true;
    std::int64_t first_code = -1;
    std::int64_t last_code = -1;
    int width = 0, height = 0;

    static void callback(std::uint32_t, const KALTRO_VIDEO_FRAME* frame, void* user) {
        auto* log = static_cast<TargetLog*>(user);
        std::lock_guard<std::mutex> guard(log->lock);
        if (!frame->pixels) {
            log->end_marks++;
            return;
        }
        log->pictures++;
        log->width = frame->width;
        log->height = frame->height;
        log->opaque = log->opaque && (frame->pixels[3] == 0xFF);  // the first pixel's top byte
        std::int64_t code = 0;
        if (!read_live_time_code(frame->pixels, frame->width, frame->height, frame->stride, &code)) {
            log->without_time_code++;
            return;
        }
        if (log->first_code < 0) log->first_code = code;
        log->last_code = code;
    }
    int picture_count() {
        std::lock_guard<std::mutex> guard(lock);
        return pictures;
    }
    int end_count() {
        std::lock_guard<std::mutex> guard(lock);
        return end_marks;
    }
};

class RtspFixture : public ::testing::Test {
protected:
    void SetUp() override {
        set_trace_sink(trace_null_sink, nullptr);
        ASSERT_EQ(Network_ClientRegisterVideoTarget(&m_target, &TargetLog::callback, &m_seen), NETWORK_OK);
    }
    void TearDown() override {
        m_live.reset();
        m_server.reset();
        Network_ClientUnregisterVideoTarget(m_target);
    }

    // Camera `k`'s address: a loopback network of this process.
    static std::string address(int k) {
        const int pid = static_cast<int>(getpid());
        return "127." + std::to_string(100 + pid % 100) + "." + std::to_string(pid / 100 % 250) + "." +
               std::to_string(10 + k);
    }
    static std::string mac(int k) { return "02:00:00:00:00:0" + std::to_string(k); }

    // Serves camera k with the login Admin / `password`; the stream's URI.
    std::string serve(int k, const RtspFault& fault = {}, const std::string& password = "s3cret:@ /%",
                      RtspCodec codec = RtspCodec::h264) {
        RtspStreamConfig config;
        config.codec = codec;
        config.camera = mac(k);
        config.address = address(k);
        config.port = 0;
        config.user = "Admin";
        config.password = password;
        config.fault = fault;
        std::string uri;
        EXPECT_EQ(server().start_stream(config, &uri), "");
        return uri;
    }

    RtspServer& server() {
        if (!m_server) m_server = std::make_unique<RtspServer>();
        return *m_server;
    }
    std::shared_ptr<const RtspLog> log(int k) { return server().log(mac(k)); }

    rtsp::RtspLive& watch(const std::string& uri, int k, const std::string& password = "s3cret:@ /%",
                          std::int64_t stall_ms = 2000) {
        rtsp::LiveOptions options;
        options.uri = uri;
        options.camera_address = address(k);
        options.user = "Admin";
        options.password = password;
        options.video_target = m_target;
        options.stall_ms = stall_ms;
        m_live = std::make_unique<rtsp::RtspLive>(options);
        return *m_live;
    }

    // Waits for the target to have more than `count` pictures; says where
    // the stream stands when they do not come.
    ::testing::AssertionResult pictures_over(int count) {
        if (wait_until([&] { return m_seen.picture_count() > count; })) return ::testing::AssertionSuccess();
        const rtsp::LiveCounts counts = m_live->counts();
        return ::testing::AssertionFailure() << m_seen.picture_count() << " pictures; stream "
                                             << rtsp::live_state_name(m_live->state()) << ", " << counts.packets
                                             << " packets, " << counts.pictures << " decoded; camera 1 "
                                             << server().to_json(mac(1)).dump();
    }

    bool ends_as(rtsp::LiveState state) {
        const bool ended = wait_until([&] { return rtsp::live_state_final(m_live->state()); });
        EXPECT_EQ(rtsp::live_state_name(m_live->state()), std::string(rtsp::live_state_name(state)));
        return ended && m_live->state() == state;
    }

    std::uint32_t m_target = 0;
    TargetLog m_seen;
    std::unique_ptr<RtspServer> m_server;
    std::unique_ptr<rtsp::RtspLive> m_live;
};
