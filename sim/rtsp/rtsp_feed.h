#pragma once

// The pictures of one RTSP stream: a thread that draws the moving test
// picture in real time and pushes it into the stream's pipeline, showing
// the fault it was told to (sim/rtsp/rtsp_fault.h).

#include <gst/gst.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sim/live_picture.h"
#include "sim/rtsp/rtsp_fault.h"
#include "sim/rtsp/rtsp_log.h"

struct RtspFeedConfig {
    std::string mac;  // written on the picture
    LivePictureSize size;
    int fps = 25;
    RtspFault fault;
    RtspCodec codec = RtspCodec::h264;
};

class RtspFeed {
public:
    // `source` is the pipeline's appsrc, `encoded` the encoder's output pad
    // (for the garbage fault); both are referenced for the feed's life.
    RtspFeed(GstElement* source, GstPad* encoded, RtspFeedConfig config, std::shared_ptr<RtspLog> log);
    ~RtspFeed();
    RtspFeed(const RtspFeed&) = delete;
    RtspFeed& operator=(const RtspFeed&) = delete;

private:
    void run();
    void push_picture(LivePicture& picture, std::uint32_t sequence);
    static GstPadProbeReturn on_encoded(GstPad* pad, GstPadProbeInfo* info, gpointer self);

    GstElement* m_source;
    GstPad* m_encoded;
    gulong m_probe = 0;
    const RtspFeedConfig m_config;
    std::shared_ptr<RtspLog> m_log;
    std::atomic<bool> m_garbage{false};
    std::uint32_t m_noise = 0x9E3779B9u;  // the probe's generator; only the streaming thread uses it
    const std::chrono::steady_clock::time_point m_started = std::chrono::steady_clock::now();

    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};

// Overwrites the coded data of every slice in an H.264 or H.265 byte stream
// with noise, keeping start codes, NAL headers and parameter sets, so the
// stream still parses but no slice decodes.
void corrupt_slices(RtspCodec codec, std::uint8_t* data, std::size_t size, std::uint32_t& seed);
